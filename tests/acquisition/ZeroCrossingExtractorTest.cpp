// The zero-crossing extractor and the background measurement on synthetic tones and hiss
// whose frequencies and levels are known; sweeps and time expansion are tested end to end
// with the import.
#include "acquisition/ZeroCrossingExtractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "acquisition/NoiseFloor.h"

using acquisition::ZeroCrossingExtractor;

namespace {

// A sine of `hz` at `rate` for `seconds`, `amplitude` of full scale.
std::vector<float> tone(double rate, double hz, double seconds, double amplitude) {
    std::vector<float> out(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        out[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * t));
    }
    return out;
}

std::vector<double> extract(const ZeroCrossingExtractor::Settings& settings,
                            const std::vector<float>& samples, size_t chunk = 4096) {
    ZeroCrossingExtractor extractor(settings);
    std::vector<double> kept;
    for (size_t at = 0; at < samples.size(); at += chunk) {
        const size_t n = std::min(chunk, samples.size() - at);
        extractor.feed(std::span<const float>(samples).subspan(at, n), kept);
    }
    return kept;
}

// The frequency (Hz) the sequence formula gives for each pair of whole-microsecond
// intervals, as a file would hold them.
std::vector<double> dotFrequencies(const std::vector<double>& kept, int32_t ratio) {
    std::vector<int64_t> times;
    for (double t : kept) times.push_back(std::llround(t));
    std::vector<double> hz;
    for (size_t i = 2; i < times.size(); ++i) {
        hz.push_back(ratio * 1e6 / static_cast<double>(times[i] - times[i - 2]));
    }
    return hz;
}

TEST(ZeroCrossingExtractor, ToneComesBackAtItsFrequencyForEveryRatio) {
    for (int32_t ratio : {4, 8, 16, 32}) {
        ZeroCrossingExtractor::Settings s;
        s.ratio = ratio;
        const auto kept = extract(s, tone(384000, 40000, 0.05, 0.5));
        // N crossings are N/2 periods of 25 µs.
        ASSERT_GT(kept.size(), 10u) << ratio;
        const size_t m = kept.size() / 2;
        EXPECT_NEAR(kept[m] - kept[m - 1], ratio * 12.5, 0.05) << ratio;
        for (double hz : dotFrequencies(kept, ratio)) {
            EXPECT_NEAR(hz, 40000, 200) << "ratio " << ratio;
        }
    }
}

TEST(ZeroCrossingExtractor, GateHoldsBackQuietAndLowSignals) {
    ZeroCrossingExtractor::Settings s;  // −36 dBFS
    // −42 dBFS: below the threshold.
    EXPECT_TRUE(extract(s, tone(384000, 40000, 0.05, std::pow(10, -42.0 / 20))).empty());
    EXPECT_FALSE(extract(s, tone(384000, 40000, 0.05, std::pow(10, -30.0 / 20))).empty());
    // Loud hum far below the cut-off is filtered out before the gate sees it.
    EXPECT_TRUE(extract(s, tone(384000, 1000, 0.05, 0.5)).empty());
    // Silence with the lowest bit toggling.
    std::vector<float> dither(384000 / 10);
    for (size_t i = 0; i < dither.size(); ++i) dither[i] = (i % 3 == 0) ? 1.0f / 32768 : 0;
    EXPECT_TRUE(extract(s, dither).empty());
}

TEST(ZeroCrossingExtractor, AThresholdThatStepsOpensTheGateWhereItFalls) {
    // A steady −30 dBFS tone for 0.1 s; the threshold is −20 dB for the first 0.05 s and
    // −40 dB after: crossings are kept from 0.05 s on, and only then.
    const double rate = 384000;
    ZeroCrossingExtractor extractor(ZeroCrossingExtractor::Settings{});
    extractor.setThresholdSteps({-20, -40}, static_cast<int64_t>(rate / 20));
    std::vector<double> kept;
    extractor.feed(tone(rate, 40000, 0.1, std::pow(10, -30.0 / 20)), kept);
    ASSERT_FALSE(kept.empty());
    EXPECT_NEAR(kept.front(), 50000, 500);
    // 2 000 periods in the open half, 4 000 crossings, every 16th kept.
    EXPECT_NEAR(static_cast<double>(kept.size()), 250, 3);
}

TEST(ZeroCrossingExtractor, HysteresisKeepsAFadingCallWhole) {
    // A tone that fades from −30 to −40 dBFS: once open, the gate stays open down to −42.
    const double rate = 384000, seconds = 0.01;
    auto samples = tone(rate, 40000, seconds, 1);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double db = -30 - 10 * static_cast<double>(i) / static_cast<double>(samples.size());
        samples[i] *= static_cast<float>(std::pow(10, db / 20));
    }
    ZeroCrossingExtractor::Settings s;
    const auto kept = extract(s, samples);
    // 400 periods, 800 crossings, every 16th kept.
    EXPECT_GE(kept.size(), 48u);
}

TEST(ZeroCrossingExtractor, ALowThresholdLeavesOutALoudCallsReverberation) {
    // A −30 dBFS call of 5 ms, its reverberation at −64 dBFS for 25 ms, silence, and a
    // faint −66 dBFS call 80 ms after the loud one began.
    const double rate = 384000;
    auto samples = tone(rate, 40000, 0.005, std::pow(10, -30.0 / 20));
    const auto reverb = tone(rate, 40000, 0.025, std::pow(10, -64.0 / 20));
    samples.insert(samples.end(), reverb.begin(), reverb.end());
    samples.resize(static_cast<size_t>(rate * 0.08));
    const auto faint = tone(rate, 40000, 0.005, std::pow(10, -66.0 / 20));
    samples.insert(samples.end(), faint.begin(), faint.end());
    auto during = [](const std::vector<double>& kept, double from, double to) {
        return std::ranges::count_if(kept, [&](double t) { return t >= from && t < to; });
    };
    ZeroCrossingExtractor::Settings s;
    s.thresholdDb = -72;  // below the mask's ceiling
    auto kept = extract(s, samples);
    EXPECT_GE(during(kept, 0, 5000), 20);
    EXPECT_EQ(during(kept, 10000, 30000), 0);
    EXPECT_GE(during(kept, 80000, 85000), 20);
    // At the ceiling and above it there is no mask: the gate, open for the call, stays open
    // down to its hysteresis, as it always did.
    s.thresholdDb = s.maskCeilingDb;
    kept = extract(s, samples);
    EXPECT_GE(during(kept, 10000, 30000), 90);
}

TEST(ZeroCrossingExtractor, RejectsSettingsThatCannotWork) {
    ZeroCrossingExtractor::Settings s;
    EXPECT_TRUE(ZeroCrossingExtractor::valid(s));
    s.sampleRate = 22050;  // a 12 kHz cut-off above the Nyquist rate
    EXPECT_FALSE(ZeroCrossingExtractor::valid(s));
    s.timeExpansion = 10;
    EXPECT_TRUE(ZeroCrossingExtractor::valid(s));
    s.ratio = 0;
    EXPECT_FALSE(ZeroCrossingExtractor::valid(s));
}

}  // namespace

namespace {

// The background is measured between the calls: hiss that drops by 20 dB halfway is
// followed, loud calls every 50 ms do not lift it, and digital silence stays silence.
TEST(NoiseFloor, FollowsTheHissAndNotTheCalls) {
    const double rate = 384000;
    std::vector<float> audio(static_cast<size_t>(rate * 2));
    std::mt19937 random(3);
    std::normal_distribution<float> loud(0, 0.01F), quiet(0, 0.001F);  // -40 and -60 dB
    for (size_t i = 0; i < audio.size(); ++i) {
        audio[i] = i < audio.size() / 2 ? loud(random) : quiet(random);
    }
    const std::vector<float> call = tone(rate, 45000, 0.004, 0.1);  // -20 dB
    for (size_t at = 0; at + call.size() < audio.size(); at += static_cast<size_t>(rate / 20)) {
        for (size_t i = 0; i < call.size(); ++i) audio[at + i] += call[i];
    }
    acquisition::NoiseFloor floor(rate, 12000);
    floor.add(audio);
    const std::vector<double> levels = floor.levelsDb();
    const double stepSeconds = static_cast<double>(floor.samplesPerStep()) / rate;
    ASSERT_EQ(levels.size(), static_cast<size_t>(std::ceil(2 / stepSeconds)));
    EXPECT_NEAR(levels[static_cast<size_t>(0.4 / stepSeconds)], -40, 1.5);
    EXPECT_NEAR(levels[static_cast<size_t>(1.6 / stepSeconds)], -60, 1.5);

    acquisition::NoiseFloor silent(rate, 12000);
    silent.add(std::vector<float>(static_cast<size_t>(rate / 2), 0.0F));
    EXPECT_EQ(silent.levelsDb().front(), acquisition::NoiseFloor::kSilenceDb);
}

}  // namespace
