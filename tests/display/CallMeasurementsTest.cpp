// Call measurements on synthetic calls whose frequency track is known exactly: each dot's
// frequency is the track's value at the dot's (whole-microsecond) time, so every quantity
// can be worked out by hand from the track's corners.
#include "display/CallMeasurements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "SyntheticSequence.h"

namespace {

// The view's default frequency range.
constexpr int32_t kFmin = 4000000;
constexpr int32_t kFmax = 210000000;

// A track straight on a log-frequency scale between corners (time in µs, frequency in kHz).
struct Corner {
    double us;
    double khz;
};

struct Dots {
    std::vector<int32_t> times;
    std::vector<int32_t> frequency;  // mHz
};

double trackKhz(const std::vector<Corner>& track, double us) {
    for (size_t k = 1; k < track.size(); ++k) {
        if (us <= track[k].us || k + 1 == track.size()) {
            const double share = (us - track[k - 1].us) / (track[k].us - track[k - 1].us);
            return track[k - 1].khz * std::exp2(share * std::log2(track[k].khz / track[k - 1].khz));
        }
    }
    return track.front().khz;
}

// Dots at the zero crossings of a divided-by-16 signal following the track; the last dot
// sits exactly on the last corner.
Dots dotsOf(const std::vector<Corner>& track) {
    Dots d;
    double us = track.front().us;
    while (us < track.back().us) {
        const auto t = static_cast<int32_t>(std::lround(us));
        d.times.push_back(t);
        d.frequency.push_back(static_cast<int32_t>(std::lround(trackKhz(track, t) * 1e6)));
        us += 16e3 / trackKhz(track, us) / 2;
    }
    d.times.push_back(static_cast<int32_t>(track.back().us));
    d.frequency.push_back(static_cast<int32_t>(std::lround(track.back().khz * 1e6)));
    return d;
}

// The dots of several tracks, one after another.
Dots dotsOfTracks(const std::vector<std::vector<Corner>>& tracks) {
    Dots d;
    for (const auto& track : tracks) {
        const Dots part = dotsOf(track);
        d.times.insert(d.times.end(), part.times.begin(), part.times.end());
        d.frequency.insert(d.frequency.end(), part.frequency.begin(), part.frequency.end());
    }
    return d;
}

CallMeasurements::Call measure(const Dots& d) {
    return CallMeasurements::Measure(d.times, d.frequency, 0,
                                     static_cast<int32_t>(d.times.size()) - 1);
}

TEST(CallMeasurements, ConstantFrequencyCallIsFlatThroughout) {
    const Dots d = dotsOf({{1000, 40}, {6000, 40}});
    const auto c = measure(d);
    EXPECT_EQ(c.startUs, 1000);
    EXPECT_EQ(c.durationUs, 5000);
    EXPECT_EQ(c.dots, static_cast<int32_t>(d.times.size()));
    for (double f : {c.fmaxKhz, c.fminKhz, c.fmeanKhz, c.fcharKhz, c.fkneeKhz}) {
        EXPECT_NEAR(f, 40.0, 1e-6);
    }
    EXPECT_NEAR(c.slopeOctPerS, 0.0, 1e-6);
}

TEST(CallMeasurements, SteepStartBendsIntoShallowTail) {
    // 80 -> 45 kHz in 2 ms, then 45 -> 42 kHz in 4 ms: the final 40 % lies in the tail.
    const Dots d = dotsOf({{0, 80}, {2000, 45}, {6000, 42}});
    const auto c = measure(d);
    EXPECT_EQ(c.durationUs, 6000);
    EXPECT_NEAR(c.fmaxKhz, 80.0, 1e-6);
    EXPECT_NEAR(c.fminKhz, 42.0, 1e-6);
    EXPECT_NEAR(c.fcharKhz, 42.0, 1e-6);
    EXPECT_NEAR(c.slopeOctPerS, std::log2(42.0 / 45.0) / 0.004, 1e-3);
    EXPECT_NEAR(c.fkneeKhz, 45.0, 1e-4);
    double sum = 0;
    for (int32_t f : d.frequency) sum += f / 1e6;
    EXPECT_NEAR(c.fmeanKhz, sum / static_cast<double>(d.frequency.size()), 1e-9);
}

TEST(CallMeasurements, FlattestPartIsFoundBeforeAFinalDrop) {
    // 60 -> 50 kHz in 1 ms, flat at 50 kHz for 3.5 ms, then a 0.5 ms drop to 35 kHz: the
    // final 40 % (2 ms) holds 1.5 ms of the flat part and the drop.
    const Dots d = dotsOf({{0, 60}, {1000, 50}, {4500, 50}, {5000, 35}});
    const auto c = measure(d);
    EXPECT_NEAR(c.fcharKhz, 50.0, 1e-6);
    EXPECT_NEAR(c.slopeOctPerS, 0.0, 1e-6);
    EXPECT_NEAR(c.fkneeKhz, 50.0, 1e-6);
    EXPECT_NEAR(c.fminKhz, 35.0, 1e-6);
}

TEST(CallMeasurements, SteadySweepIsCharacterisedAtItsEnd) {
    // One octave down in 4 ms: no bend, so the knee is the first dot.
    const Dots d = dotsOf({{0, 100}, {4000, 50}});
    const auto c = measure(d);
    EXPECT_NEAR(c.fcharKhz, 50.0, 1e-6);
    EXPECT_NEAR(c.slopeOctPerS, -250.0, 1e-3);
    EXPECT_NEAR(c.fkneeKhz, 100.0, 1e-6);
}

TEST(CallMeasurements, ShortestCallsStillMeasure) {
    const Dots d{{0, 100, 200}, {40000000, 40000000, 40000000}};
    const auto c = measure(d);
    EXPECT_EQ(c.dots, 3);
    EXPECT_NEAR(c.fcharKhz, 40.0, 1e-9);
    EXPECT_NEAR(c.fkneeKhz, 40.0, 1e-9);
    EXPECT_EQ(c.tbcUs, -1);
}

TEST(CallMeasurements, FindSeparatesCallsAndHidesNoise) {
    synthetic::CallPlan plan;
    plan.calls = 5;
    plan.dotsPerCall = 30;
    plan.noiseDots = 6;
    const auto store = synthetic::makeCalls(plan);
    const auto calls =
        CallMeasurements::Find(store->times, store->frequency, store->count, 2, kFmin, kFmax);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].tbcUs, -1);
    for (size_t k = 0; k < calls.size(); ++k) {
        // The filter may drop a dot or two at either end of a sweep, never more.
        EXPECT_GE(calls[k].dots, plan.dotsPerCall - 4) << k;
        EXPECT_LE(calls[k].dots, plan.dotsPerCall) << k;
        EXPECT_NEAR(calls[k].fmaxKhz, plan.startKhz, 3.0) << k;
        EXPECT_NEAR(calls[k].fminKhz, plan.endKhz, 1.0) << k;
        if (k > 0) {
            EXPECT_EQ(calls[k].tbcUs, calls[k].startUs - calls[k - 1].startUs);
        }
    }
    // A file without a single defined frequency has no calls.
    EXPECT_TRUE(CallMeasurements::Find(store->times, store->frequency, 2, 2, kFmin, kFmax).empty());
}

TEST(CallMeasurements, NoiseIsACallOnlyWithoutTheFilter) {
    // Jittery intervals of 0.3 to 0.7 ms: no jump of an octave, but far from smooth.
    DotStore store;
    std::mt19937 random(3);
    std::uniform_int_distribution<int32_t> interval(300, 700);
    store.count = 60;
    for (int32_t i = 1; i < store.count; ++i) {
        store.times[i] = store.times[i - 1] + interval(random);
    }
    computeDotFrequencies(store);
    const auto all =
        CallMeasurements::Find(store.times, store.frequency, store.count, 0, kFmin, kFmax);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].dots, 58);
    int32_t kept = 0;
    for (const auto& c :
         CallMeasurements::Find(store.times, store.frequency, store.count, 5, kFmin, kFmax)) {
        kept += c.dots;
    }
    EXPECT_LT(kept, 15);
    // Above the range the view shows, nothing is a call.
    EXPECT_TRUE(
        CallMeasurements::Find(store.times, store.frequency, store.count, 0, 40000000, kFmax)
            .empty());
}

TEST(CallMeasurements, DropOutsJoinedEchoesAndBlipsLeftOut) {
    // Twice, 80 ms apart: 60 -> 45 kHz in 4 ms, a 1 ms drop-out, on to 44 kHz by 6 ms, and a
    // 0.8 ms echo at 45 kHz 5 ms later; a 5-dot blip at 50 ms; a 90 kHz call at 106 ms.
    const Dots d = dotsOfTracks({{{0, 60}, {4000, 45}},
                                 {{5000, 44.8}, {6000, 44}},
                                 {{11000, 45}, {11800, 45}},
                                 {{50000, 40}, {50800, 40}},
                                 {{80000, 60}, {84000, 45}},
                                 {{85000, 44.8}, {86000, 44}},
                                 {{91000, 45}, {91800, 45}},
                                 {{106000, 90}, {107200, 90}}});
    const auto n = static_cast<int32_t>(d.times.size());
    const auto all = CallMeasurements::Find(d.times, d.frequency, n, 0, kFmin, kFmax, true);
    ASSERT_EQ(all.size(), 5u);
    for (size_t k : {0, 2})
        EXPECT_EQ(std::tuple(all[k].durationUs, all[k].fminKhz), std::tuple(6000, 44.0));
    for (size_t k : {1, 3})
        EXPECT_EQ(std::tuple(all[k].echo, all[k].startUs - all[k - 1].startUs, all[k].tbcUs),
                  std::tuple(true, 11000, -1));
    EXPECT_EQ(std::tuple(all[2].tbcUs, all[4].tbcUs, all[4].echo), std::tuple(80000, 26000, false));
    EXPECT_EQ(CallMeasurements::Find(d.times, d.frequency, n, 0, kFmin, kFmax).size(), 3u);
}

TEST(CallMeasurements, AnEchoTrailRunsWithoutAPauseAndTheNextWeakCallIsACall) {
    // A 6 ms call, two echo pieces 1.5 ms and 1.3 ms after it and each other, then after a
    // 10.1 ms pause a 1 ms piece at 50 kHz: in the call's range, short and soon enough to be
    // an echo by those tests, but a trail does not pause; it is a call.
    const Dots d = dotsOfTracks({{{0, 60}, {4000, 45}},
                                 {{5000, 44.8}, {6000, 44}},
                                 {{7500, 45}, {8300, 45}},
                                 {{9600, 45}, {10400, 45}},
                                 {{20500, 50}, {21500, 50}}});
    const auto all = CallMeasurements::Find(
        d.times, d.frequency, static_cast<int32_t>(d.times.size()), 0, kFmin, kFmax, true);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(std::tuple(all[0].echo, all[1].echo, all[2].echo, all[3].echo),
              std::tuple(false, true, true, false));
    EXPECT_EQ(std::tuple(all[3].startUs, all[3].tbcUs), std::tuple(20500, 20500));
}

TEST(CallMeasurements, ASteadyTailAfterADropOutIsTheRestOfItsCallASecondSweepIsNot) {
    // A 1.5 ms steep start, an echo of it, and 1.4 ms after the echo a 10 ms tail at 54 kHz:
    // one call. A second bat's 4 ms sweep 2 ms after a call, and a tail 6.5 ms after its
    // call, are calls of their own.
    const Dots d = dotsOfTracks({{{0, 70}, {1500, 55}},
                                 {{3000, 55}, {3600, 55}},
                                 {{5000, 54}, {15000, 54}},
                                 {{50000, 90}, {51500, 45}},
                                 {{53500, 80}, {57500, 50}},
                                 {{100000, 70}, {101500, 55}},
                                 {{108000, 54}, {118000, 54}}});
    const auto calls = CallMeasurements::Find(
        d.times, d.frequency, static_cast<int32_t>(d.times.size()), 0, kFmin, kFmax, true);
    std::vector<std::tuple<int64_t, int64_t, bool>> got;
    for (const auto& c : calls) got.emplace_back(c.startUs, c.durationUs, c.echo);
    EXPECT_EQ(got, (std::vector<std::tuple<int64_t, int64_t, bool>>{{0, 15000, false},
                                                                   {50000, 1500, false},
                                                                   {53500, 4000, false},
                                                                   {100000, 1500, false},
                                                                   {108000, 10000, false}}));
    EXPECT_EQ(std::tuple(calls[0].fminKhz, calls[1].tbcUs), std::tuple(54.0, 50000));
}

TEST(CallMeasurements, MedianOfCharacteristicFrequencies) {
    std::vector<CallMeasurements::Call> calls;
    EXPECT_EQ(CallMeasurements::MedianFchar(calls), 0.0);
    for (double f : {45.0, 41.0, 50.0}) {
        calls.emplace_back();
        calls.back().fcharKhz = f;
    }
    EXPECT_EQ(CallMeasurements::MedianFchar(calls), 45.0);
    calls.emplace_back();
    calls.back().fcharKhz = 40.0;
    EXPECT_EQ(CallMeasurements::MedianFchar(calls), 43.0);
}

}  // namespace
