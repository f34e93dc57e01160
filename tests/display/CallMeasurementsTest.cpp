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

TEST(CallMeasurements, DropOutsEchoesBlipsTrailsAndTails) {
    // At 0 and 80 ms: 60 -> 45 kHz in 4 ms, a 1 ms drop-out, on to 44 kHz by 6 ms, and a
    // 0.8 ms echo at 45 kHz 5 ms later; a 5-dot blip at 50 ms; a 90 kHz call at 106 ms.
    // At 200 ms the same call with two echo pieces 1.5 and 1.3 ms apart, then after a 10.1 ms
    // pause a 1 ms piece at 50 kHz: short and in range, but a trail does not pause.
    // At 300 ms a 1.5 ms steep start, its echo, and 1.4 ms later a 10 ms tail at 54 kHz: one
    // call. At 350 ms a second bat's 4 ms sweep 2 ms after a call, and at 400 ms a tail
    // 6.5 ms after its call: calls of their own.
    const Dots d = dotsOfTracks(
        {{{0, 60}, {4000, 45}},          {{5000, 44.8}, {6000, 44}},   {{11000, 45}, {11800, 45}},
         {{50000, 40}, {50800, 40}},     {{80000, 60}, {84000, 45}},   {{85000, 44.8}, {86000, 44}},
         {{91000, 45}, {91800, 45}},     {{106000, 90}, {107200, 90}}, {{200000, 60}, {204000, 45}},
         {{205000, 44.8}, {206000, 44}}, {{207500, 45}, {208300, 45}}, {{209600, 45}, {210400, 45}},
         {{220500, 50}, {221500, 50}},   {{300000, 70}, {301500, 55}}, {{303000, 55}, {303600, 55}},
         {{305000, 54}, {315000, 54}},   {{350000, 90}, {351500, 45}}, {{353500, 80}, {357500, 50}},
         {{400000, 70}, {401500, 55}},   {{408000, 54}, {418000, 54}}});
    const auto n = static_cast<int32_t>(d.times.size());
    const auto all = CallMeasurements::Find(d.times, d.frequency, n, 0, kFmin, kFmax, true);
    using Row = std::tuple<int64_t, int64_t, bool, int64_t>;  // start, duration, echo, tbc
    std::vector<Row> got;
    for (const auto& c : all) got.emplace_back(c.startUs, c.durationUs, c.echo, c.tbcUs);
    EXPECT_EQ(got, (std::vector<Row>{{0, 6000, false, -1},
                                     {11000, 800, true, -1},
                                     {80000, 6000, false, 80000},
                                     {91000, 800, true, -1},
                                     {106000, 1200, false, 26000},
                                     {200000, 6000, false, 94000},
                                     {207500, 800, true, -1},
                                     {209600, 800, true, -1},
                                     {220500, 1000, false, 20500},
                                     {300000, 15000, false, 79500},
                                     {350000, 1500, false, 50000},
                                     {353500, 4000, false, 3500},
                                     {400000, 1500, false, 46500},
                                     {408000, 10000, false, 8000}}));
    ASSERT_EQ(got.size(), 14u);
    EXPECT_EQ(std::tuple(all[0].fminKhz, all[9].fminKhz), std::tuple(44.0, 54.0));
    EXPECT_EQ(CallMeasurements::Find(d.times, d.frequency, n, 0, kFmin, kFmax).size(), 10u);
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
