#include "tools/zelkora-tool/CrossingFeed.h"

#include <algorithm>
#include <cmath>

#include "sequence/SequenceFile.h"
#include "sequence/SequenceFormat.h"

namespace tool {

namespace {
// Room for interval codes in one file, as the recorder leaves it.
constexpr int32_t kDataBytes = 32761 - seqformat::kDataOffset84;
}  // namespace

bool CrossingFeed::add(double micros) {
    const int64_t at = std::llround(micros);
    if (last_ < 0) {
        last_ = at;
        return true;
    }
    const int64_t interval = at - last_;
    if (interval <= 0) return true;  // two crossings within the same microsecond
    last_ = at;
    int32_t r = 0;
    if (first_ || interval > SequenceFile::kLongestFirstInterval) {
        // A gap too long for any sequence starts afresh, with its time taken from here.
        first_ = false;
        window_.clear();
        bytes_ = sum_ = 0;
        r = sequence_.addFirstInterval(
            static_cast<int32_t>(std::min<int64_t>(interval, seqformat::kMaxInterval)),
            start_ + at);
        if (interval > SequenceFile::kLongestFirstInterval) return r >= 0;
    } else {
        const int32_t code = seqformat::codeSize(interval, window_.empty() ? 0 : window_.back());
        if (sequence_.keep() && bytes_ + code > kDataBytes) {
            r = sequence_.saveNow();
            if (r < 0) return false;
        }
        r = sequence_.addInterval(static_cast<int32_t>(interval));
    }
    track(static_cast<int32_t>(interval));
    return r >= 0;
}

void CrossingFeed::saved() {
    window_.clear();
    bytes_ = sum_ = 0;
}

void CrossingFeed::track(int32_t interval) {
    bytes_ += seqformat::codeSize(interval, window_.empty() ? 0 : window_.back());
    sum_ += interval;
    window_.push_back(interval);
    while (sum_ > seqformat::kMaxSequenceTime && window_.size() > 1) {
        const int32_t oldest = window_.front();
        window_.pop_front();
        sum_ -= oldest;
        bytes_ -= seqformat::codeSize(oldest, 0);
        bytes_ +=
            seqformat::codeSize(window_.front(), 0) - seqformat::codeSize(window_.front(), oldest);
    }
}

}  // namespace tool
