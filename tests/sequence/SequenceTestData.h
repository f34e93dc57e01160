#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "sequence/DotStore.h"
#include "sequence/SequenceFormat.h"

// Builders shared by the sequence file tests.
namespace seqtest {

// A heap store (it is too big for a test's stack) holding the cumulative times of `intervals`.
inline std::unique_ptr<DotStore> storeFromIntervals(const std::vector<int32_t>& intervals,
                                                    int32_t ratio = 16) {
    auto store = std::make_unique<DotStore>();
    store->divisionRatio = ratio;
    store->times[0] = 0;
    int64_t sum = 0;
    size_t n = 1;
    for (int32_t v : intervals) {
        sum += v;
        store->times[n++] = static_cast<int32_t>(sum);
    }
    store->count = static_cast<int32_t>(n);
    return store;
}

inline std::vector<uint8_t> encode(const DotStore& store,
                                   const SequenceStartTime& start = SequenceStartTime{},
                                   const PositionBlock& position = PositionBlock{}) {
    return encodeSequenceImage(store, SequenceHeaderText{}, start, position);
}

// The header of an older file type (0x81..0x83): text, data offset 288, timing value,
// ratio and 'R', followed by `data`.
inline std::vector<uint8_t> oldTypeImage(uint8_t type, const std::vector<uint8_t>& data,
                                         uint8_t ratio = 10, uint16_t timing = 25000) {
    std::vector<uint8_t> image(288, ' ');
    image[0] = 0x1A;
    image[1] = 0x01;
    image[2] = 0;
    image[3] = type;
    image[4] = image[5] = 0;
    image[281] = 0;
    image[282] = 288 & 0xFF;
    image[283] = 288 >> 8;
    image[284] = static_cast<uint8_t>(timing & 0xFF);
    image[285] = static_cast<uint8_t>(timing >> 8);
    image[286] = ratio;
    image[287] = 'R';
    image.resize(288 + data.size());
    std::copy(data.begin(), data.end(), image.begin() + 288);
    return image;
}

// Random intervals whose codes cover every form: small steps (deltas), 13-, 21- and 29-bit
// values, with the total kept within the 15-second limit.
inline std::vector<int32_t> randomIntervals(std::mt19937& rng, size_t count) {
    std::vector<int32_t> out;
    out.reserve(count);
    int64_t budget = seqformat::kMaxSequenceTime;
    int32_t previous = 0;
    std::uniform_int_distribution<int> kind(0, 99);
    for (size_t i = 0; i < count; ++i) {
        int k = kind(rng);
        int64_t v;
        if (k < 50) {
            v = previous + std::uniform_int_distribution<int>(-64, 63)(rng);
        } else if (k < 90) {
            v = std::uniform_int_distribution<int>(0, 8191)(rng);
        } else if (k < 99) {
            v = std::uniform_int_distribution<int>(8192, 2097151)(rng);
        } else {
            v = std::uniform_int_distribution<int>(2097152, seqformat::kMaxInterval)(rng);
        }
        // Keep room for the rest so that long sequences still reach their length.
        const int64_t reserve = static_cast<int64_t>(count - i - 1) * 64;
        v = std::clamp<int64_t>(v, 0, std::max<int64_t>(0, budget - reserve));
        budget -= v;
        previous = static_cast<int32_t>(v);
        out.push_back(previous);
    }
    return out;
}

}  // namespace seqtest
