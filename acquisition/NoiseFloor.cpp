#include "acquisition/NoiseFloor.h"

#include <algorithm>
#include <cmath>

namespace acquisition {

NoiseFloor::NoiseFloor(double sampleRate, double cutOffHz)
    : filter_(cutOffHz, sampleRate),
      samplesPerBlock_(std::max<int64_t>(1, std::llround(sampleRate * kBlockSeconds))),
      samplesPerStep_(samplesPerBlock_ *
                      std::max<int64_t>(1, std::llround(kStepSeconds / kBlockSeconds))) {}

void NoiseFloor::add(std::span<const float> samples) {
    for (const float sample : samples) {
        double y = 0;
        if (std::isfinite(sample)) {
            y = filter_(sample);
        } else {
            filter_.reset();
        }
        energy_ += y * y;
        if (++inBlock_ == samplesPerBlock_) {
            const double mean = energy_ / static_cast<double>(samplesPerBlock_);
            blockDb_.push_back(static_cast<float>(
                mean > 0 ? std::max(10 * std::log10(mean), kSilenceDb) : kSilenceDb));
            inBlock_ = 0;
            energy_ = 0;
        }
    }
}

std::vector<double> NoiseFloor::levelsDb() const {
    const auto blocks = static_cast<int64_t>(blockDb_.size());
    const int64_t perStep = samplesPerStep_ / samplesPerBlock_;
    const auto reach = static_cast<int64_t>(std::llround(kWindowSeconds / kBlockSeconds));
    std::vector<double> levels;
    std::vector<float> window;
    for (int64_t step = 0; step * perStep < std::max<int64_t>(blocks, 1); ++step) {
        const int64_t centre = step * perStep + perStep / 2;
        // Digital silence (a recorder's padding, a gap cut out) is not the background
        // unless it is most of the window: then there is no background to speak of.
        window.clear();
        const int64_t from = std::max<int64_t>(0, centre - reach);
        const int64_t to = std::min(blocks, centre + reach + 1);
        for (int64_t b = from; b < to; ++b) {
            const float level = blockDb_[static_cast<size_t>(b)];
            if (level > kSilenceDb) window.push_back(level);
        }
        if (window.empty() || static_cast<int64_t>(window.size()) * 2 < to - from) {
            levels.push_back(kSilenceDb);
            continue;
        }
        const auto quiet =
            window.begin() +
            static_cast<std::ptrdiff_t>(static_cast<double>(window.size() - 1) * kQuietShare);
        std::nth_element(window.begin(), quiet, window.end());
        levels.push_back(*quiet);
    }
    return levels;
}

}  // namespace acquisition
