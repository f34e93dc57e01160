// The simulated night behind the module simulator: the frequencies the recorder will compute
// from its intervals, the shape of calls and passes, noise that the call detector ignores,
// the noise's line load and the call rate.
#include "acquisition/SimulatedNight.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

#include "acquisition/ModuleWireEncoder.h"

namespace {

using acquisition::NightMix;
using acquisition::NightOptions;
using acquisition::SimulatedNight;
using Episode = SimulatedNight::Episode;

// One zero crossing as the module measures it: its time in whole µs and the interval it ends.
struct Measured {
    int64_t micros;
    int64_t interval;
    SimulatedNight::Crossing crossing;
};

std::vector<Measured> run(const NightOptions& options, double seconds) {
    SimulatedNight night(options);
    std::vector<Measured> out;
    int64_t last = 0;
    const auto end = static_cast<int64_t>(seconds * 1e9);
    for (;;) {
        SimulatedNight::Crossing c = night.next();
        if (c.timeNs > end) break;
        const int64_t micros = c.timeNs / 1000;
        out.push_back({micros, micros - last, c});
        last = micros;
    }
    return out;
}

// The recorder's frequency of the dot ending at `i` (mHz), from the two latest intervals.
int64_t frequency(const std::vector<Measured>& m, size_t i, int32_t ratio) {
    const double s = static_cast<double>(m[i].interval + m[i - 1].interval);
    return static_cast<int64_t>(ratio * 1e9 / s + 0.5);
}

TEST(SimulatedNightTest, CallFrequenciesComeOutAsSentForEveryRatio) {
    for (int32_t ratio : {8, 10, 16, 32}) {
        NightOptions options;
        options.mix = NightMix::Passes;
        options.callsPerSecond = 20;
        options.ratio = ratio;
        options.seed = 3;
        auto m = run(options, 60);
        size_t checked = 0;
        int64_t lowest = INT64_MAX, highest = 0;
        for (size_t i = 2; i < m.size(); ++i) {
            const auto& c = m[i].crossing;
            // Both intervals lie inside one call.
            if (c.call < 0 || m[i - 1].crossing.call != c.call ||
                m[i - 2].crossing.call != c.call) {
                continue;
            }
            const int64_t f = frequency(m, i, ratio);
            // The clock's whole microseconds shift the sum of two intervals by less than 1 µs.
            const double slack = 1.0 / static_cast<double>(m[i].interval + m[i - 1].interval);
            EXPECT_GE(f, c.lowHz * 1000 * (1 - slack) - 1) << "ratio " << ratio << " at " << i;
            EXPECT_LE(f, c.highHz * 1000 * (1 + slack) + 1) << "ratio " << ratio << " at " << i;
            lowest = std::min(lowest, f);
            highest = std::max(highest, f);
            ++checked;
        }
        EXPECT_GT(checked, 1000u) << ratio;
        EXPECT_GE(lowest, 20000000 * 0.98) << ratio;
        EXPECT_LE(highest, 120000000 * 1.02) << ratio;
    }
}

TEST(SimulatedNightTest, CallsSweepDownForAFewMillisecondsAndRepeatWithinPasses) {
    NightOptions options;
    options.mix = NightMix::Passes;
    options.callsPerSecond = 8;
    options.seed = 11;
    auto m = run(options, 300);

    struct Call {
        int64_t pass = 0;
        int64_t first = 0, last = 0;
        int64_t firstFreq = 0, lastFreq = 0;
    };
    std::map<int64_t, Call> calls;
    for (size_t i = 2; i < m.size(); ++i) {
        const int64_t n = m[i].crossing.call;
        if (n < 0) continue;
        auto [it, fresh] = calls.try_emplace(n);
        if (fresh) {
            it->second.first = m[i].micros;
            it->second.pass = m[i].crossing.pass;
        }
        it->second.last = m[i].micros;
        if (m[i - 2].crossing.call == n) {
            const int64_t f = frequency(m, i, options.ratio);
            if (it->second.firstFreq == 0) it->second.firstFreq = f;
            it->second.lastFreq = f;
        }
    }
    ASSERT_GT(calls.size(), 500u);
    std::map<int64_t, std::pair<int64_t, int64_t>> passes;  // first and last call's start
    const Call* previous = nullptr;
    for (const auto& [n, call] : calls) {
        const int64_t length = call.last - call.first;
        EXPECT_GE(length, 1000) << "call " << n;  // 1.5 to 60 milliseconds
        EXPECT_LE(length, 60000) << "call " << n;
        EXPECT_GT(call.firstFreq, call.lastFreq) << "call " << n;  // sweeps down
        if (previous && previous->pass == call.pass) {
            const int64_t repeat = call.first - previous->first;
            EXPECT_GE(repeat, 50000 - 1) << "call " << n;
            EXPECT_LE(repeat, 400000 + 1) << "call " << n;
        }
        auto [it, fresh] = passes.try_emplace(call.pass, call.first, call.first);
        if (!fresh) it->second.second = call.first;
        previous = &call;
    }
    ASSERT_GT(passes.size(), 10u);
    for (const auto& [n, pass] : passes) {
        if (n == passes.rbegin()->first) continue;  // cut short by the end of the run
        EXPECT_GE(pass.second - pass.first, 1500000) << "pass " << n;  // a few seconds
        EXPECT_LE(pass.second - pass.first, 6000000) << "pass " << n;
    }
}

// The recorder's call detector, as far as runs go: true when a run of smooth intervals long
// enough to count (minimum run `line`) ever forms.
int64_t countedRuns(const std::vector<Measured>& m, size_t from, size_t to, int32_t slack,
                    int32_t line) {
    int64_t runs = 0;
    bool inRun = false, counted = false;
    int32_t counter = 0;
    for (size_t i = from + 2; i < to; ++i) {
        if (!SimulatedNight::smooth(m[i - 2].interval, m[i - 1].interval, m[i].interval, slack)) {
            inRun = counted = false;
            continue;
        }
        if (!inRun) {
            inRun = true;
            counter = 3;
            continue;
        }
        if (++counter > line + 2 && !counted) {
            counted = true;
            ++runs;
        }
    }
    return runs;
}

TEST(SimulatedNightTest, TheCallDetectorFindsEveryCallAndNoNoise) {
    NightOptions options;
    options.seed = 5;
    options.noiseLoadPercent = 85;  // a busy line
    options.callsPerSecond = 5;
    auto m = run(options, 150);
    // Noise: not one smooth interval, for any slack up to 4.
    size_t noise = 0;
    for (size_t i = 2; i < m.size(); ++i) {
        if (m[i].crossing.episode != Episode::Noise ||
            m[i - 1].crossing.episode != Episode::Noise ||
            m[i - 2].crossing.episode != Episode::Noise) {
            continue;
        }
        ++noise;
        for (int32_t slack = 0; slack <= 4; ++slack) {
            ASSERT_FALSE(
                SimulatedNight::smooth(m[i - 2].interval, m[i - 1].interval, m[i].interval, slack))
                << "slack " << slack << " at " << i << ": " << m[i - 2].interval << " "
                << m[i - 1].interval << " " << m[i].interval;
        }
    }
    EXPECT_GT(noise, 100000u);

    // Calls: each makes a run that counts with the default settings (slack 1, minimum run 5).
    std::map<int64_t, std::pair<size_t, size_t>> calls;
    for (size_t i = 0; i < m.size(); ++i) {
        if (m[i].crossing.call < 0) continue;
        auto [it, fresh] = calls.try_emplace(m[i].crossing.call, i, i + 1);
        if (!fresh) it->second.second = i + 1;
    }
    ASSERT_GT(calls.size(), 500u);
    for (const auto& [n, range] : calls) {
        EXPECT_EQ(countedRuns(m, range.first, range.second, 1, 5), 1) << "call " << n;
    }
}

TEST(SimulatedNightTest, NoiseHoldsItsShareOfTheLine) {
    for (int32_t load : {30, 85, 95}) {
        NightOptions options;
        options.mix = NightMix::Noise;
        options.noiseLoadPercent = load;
        auto m = run(options, 20);
        std::map<int64_t, int64_t> bytesPerSecond;
        for (const Measured& x : m) {
            bytesPerSecond[x.micros / 1000000] +=
                acquisition::wire::encodedSize(static_cast<uint32_t>(x.interval));
        }
        const double target = load / 100.0 * 11520;
        for (const auto& [second, bytes] : bytesPerSecond) {
            if (second == 19) continue;  // cut short
            EXPECT_NEAR(static_cast<double>(bytes), target, target * 0.02)
                << "load " << load << " second " << second;
        }
    }
}

TEST(SimulatedNightTest, CallsComeAtTheAskedRateAndTheNightMixesEverything) {
    for (double rate : {1.0, 3.0, 8.0}) {
        NightOptions options;
        options.mix = NightMix::Passes;  // the same schedule as a night, without the noise
        options.callsPerSecond = rate;
        options.seed = 9;
        SimulatedNight night(options);
        const int64_t end = int64_t{1200} * 1000000000;
        while (night.next().timeNs <= end) {
        }
        EXPECT_NEAR(static_cast<double>(night.callsStarted()) / 1200, rate, rate * 0.1);
    }

    NightOptions options;
    options.seed = 9;
    SimulatedNight night(options);
    std::map<Episode, int64_t> time;
    int64_t last = 0;
    const int64_t end = int64_t{300} * 1000000000;
    for (;;) {
        SimulatedNight::Crossing c = night.next();
        if (c.timeNs > end) break;
        time[c.episode] += c.timeNs - last;
        last = c.timeNs;
    }
    EXPECT_GT(time[Episode::Noise], end / 10);
    EXPECT_GT(time[Episode::Pass], end / 10);

    options.callsPerSecond = 0;
    SimulatedNight noBats(options);
    for (int i = 0; i < 100000; ++i) EXPECT_EQ(noBats.next().call, -1);
    EXPECT_EQ(noBats.callsStarted(), 0);
}

TEST(SimulatedNightTest, ASeedGivesTheSameNightEveryTime) {
    NightOptions options;
    options.seed = 42;
    auto a = run(options, 30);
    auto b = run(options, 30);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i].micros, b[i].micros);
    options.seed = 43;
    auto c = run(options, 30);
    EXPECT_FALSE(c.size() == a.size() &&
                 std::equal(a.begin(), a.end(), c.begin(),
                            [](auto& x, auto& y) { return x.micros == y.micros; }));
}

TEST(SimulatedNightTest, ANightWithNeitherBatsNorNoiseNeverCrosses) {
    NightOptions options;
    options.mix = NightMix::Passes;
    options.callsPerSecond = 0;
    SimulatedNight night(options);
    EXPECT_EQ(night.next().timeNs, INT64_MAX);
    EXPECT_EQ(night.next().timeNs, INT64_MAX);
}

TEST(SimulatedNightTest, CrossingsRiseByAtLeastAMicrosecond) {
    for (int32_t ratio : {1, 2, 16}) {
        NightOptions options;
        options.ratio = ratio;
        options.callsPerSecond = 20;
        auto m = run(options, 20);
        for (size_t i = 1; i < m.size(); ++i) ASSERT_GE(m[i].interval, 1) << i;
    }
}

// Each pass is one kind of call, and each kind has the shape it is known by.
TEST(SimulatedNightTest, EachPassIsOneKindOfCallWithItsShape) {
    NightOptions options;
    options.mix = NightMix::Passes;
    options.callsPerSecond = 8;
    options.seed = 21;
    auto m = run(options, 400);
    struct Call {
        int32_t type = -1;
        int64_t pass = 0, first = 0, last = 0;
        std::vector<int64_t> freqs;
    };
    std::map<int64_t, Call> calls;
    for (size_t i = 2; i < m.size(); ++i) {
        const auto& c = m[i].crossing;
        if (c.call < 0) continue;
        auto [it, fresh] = calls.try_emplace(c.call);
        if (fresh) it->second = Call{c.callType, c.pass, m[i].micros, m[i].micros, {}};
        it->second.last = m[i].micros;
        if (m[i - 2].crossing.call == c.call) it->second.freqs.push_back(frequency(m, i, 16));
    }
    std::map<int64_t, int32_t> passType;
    std::array<int, SimulatedNight::kCallTypes> seen{};
    for (const auto& [n, call] : calls) {
        ASSERT_GE(call.type, 0);
        ASSERT_LT(call.type, SimulatedNight::kCallTypes);
        auto [it, fresh] = passType.try_emplace(call.pass, call.type);
        EXPECT_EQ(it->second, call.type) << "call " << n << " changes the kind within its pass";
        if (call.freqs.size() < 8) continue;
        ++seen[static_cast<size_t>(call.type)];
        std::vector<int64_t> sorted = call.freqs;
        std::sort(sorted.begin(), sorted.end());
        const int64_t median = sorted[sorted.size() / 2];
        const int64_t length = call.last - call.first;
        const int64_t firstF = call.freqs.front(), lastF = call.freqs.back();
        switch (call.type) {
            case 0:  // steep FM: broadband and short
                EXPECT_GT(firstF, 80000000) << n;
                EXPECT_LT(lastF, 42000000) << n;
                EXPECT_LE(length, 5000) << n;
                break;
            case 1:  // FM into a tail near 45 kHz: half its dots lie close to the tail
                EXPECT_GT(firstF, 60000000) << n;
                EXPECT_NEAR(static_cast<double>(lastF), 45500000.0, 2500000.0) << n;
                EXPECT_NEAR(static_cast<double>(median), 48000000.0, 4000000.0) << n;
                break;
            case 2:  // low and shallow
                EXPECT_GE(sorted.front(), 19500000) << n;
                EXPECT_LE(sorted.back(), 27500000) << n;
                EXPECT_GE(length, 7000) << n;
                break;
            default: {  // constant frequency with an FM rise before and an FM fall after it
                const bool lowCf = median >= 79000000 && median <= 87000000;
                const bool highCf = median >= 103000000 && median <= 111000000;
                EXPECT_TRUE(lowCf || highCf) << n << " at " << median;
                EXPECT_GE(length, 25000) << n;
                EXPECT_LT(firstF, median) << n;
                EXPECT_LT(lastF, median * 0.85) << n;
                // Most of the call stays within 1 % of its constant frequency.
                const auto near =
                    std::count_if(call.freqs.begin(), call.freqs.end(),
                                  [&](int64_t f) { return std::abs(f - median) < median / 100; });
                EXPECT_GT(near * 10, static_cast<int64_t>(call.freqs.size()) * 7) << n;
                break;
            }
        }
    }
    for (int type = 0; type < SimulatedNight::kCallTypes; ++type) {
        EXPECT_GT(seen[static_cast<size_t>(type)], 20) << "kind " << type;
    }
}

}  // namespace
