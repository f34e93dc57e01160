#include "acquisition/SimulatedNight.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "acquisition/ModuleWireEncoder.h"

namespace acquisition {

namespace {

constexpr int64_t kNsPerUs = 1000;
constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kNsPerSecond = 1000000000;

// The four kinds of call a biologist tells apart by their shape, with their lengths and the
// time from one call to the next (ms).
struct CallType {
    double durationLo, durationHi;
    double repeatLo, repeatHi;
};

constexpr std::array<CallType, SimulatedNight::kCallTypes> kCallShapes{{
    {2.0, 5.0, 70, 110},     // steep FM: a broadband sweep from about 105 to 30 kHz
    {5.0, 9.0, 70, 110},     // FM into a quasi-constant tail near 45 kHz
    {10.0, 22.0, 250, 400},  // low and shallow near 20 kHz
    {35.0, 60.0, 80, 130},   // constant frequency at 80-110 kHz with short FM ends
}};

}  // namespace

// A stretch of a call: the frequency moves from `fromHz` to `toHz` over `share` of the call's
// length, with the period changing linearly (a hyperbolic sweep, as bats' FM calls are).
struct SimulatedNight::Segment {
    double fromHz, toHz, share;
};

SimulatedNight::SimulatedNight(const NightOptions& options)
    : options_(options), random_(options.seed) {
    options_.ratio = std::max(options_.ratio, 1);
    options_.noiseLoadPercent = std::clamp(options_.noiseLoadPercent, 0, 100);
    options_.callsPerSecond = std::max(options_.callsPerSecond, 0.0);
}

double SimulatedNight::uniform() {
    // 53 random bits, the same on every platform for the same seed.
    return static_cast<double>(random_() >> 11) * 0x1.0p-53;
}

bool SimulatedNight::smooth(int64_t c, int64_t a, int64_t b, int32_t k) {
    const int64_t d = a + b;
    const int64_t e = (d >> 2) + k * (d >> 4);
    const int64_t f = (b + c) >> 1;
    return f - e < a && a < f + e;
}

const SimulatedNight::Crossing& SimulatedNight::peek() {
    if (queue_.empty()) generateMore();
    return queue_.front();
}

SimulatedNight::Crossing SimulatedNight::next() {
    Crossing c = peek();
    if (c.timeNs != std::numeric_limits<int64_t>::max()) queue_.pop_front();
    return c;
}

void SimulatedNight::emit(const Crossing& crossing) {
    const int64_t micros = crossing.timeNs / kNsPerUs;
    if (micros <= lastMicros_) return;  // the module's clock could not tell them apart
    lastMicros_ = micros;
    queue_.push_back(crossing);
}

void SimulatedNight::planEpisode() {
    const int64_t start = std::max(cursorNs_, episodeEndNs_);
    const bool bats = options_.mix != NightMix::Noise && options_.callsPerSecond > 0;
    const bool noise = options_.mix != NightMix::Passes && options_.noiseLoadPercent > 0;
    const double dueCalls = options_.callsPerSecond * static_cast<double>(start) / kNsPerSecond;
    if (bats && static_cast<double>(calls_) <= dueCalls) {
        episode_ = Episode::Pass;
    } else if (noise && (options_.mix == NightMix::Noise || uniform() < 0.55)) {
        episode_ = Episode::Noise;
    } else {
        episode_ = Episode::Silence;
    }
    double seconds = 0;
    switch (episode_) {
        case Episode::Pass:
            seconds = uniform(2.0, 6.0);
            ++passes_;
            callType_ = static_cast<int32_t>(uniform() * kCallShapes.size()) %
                        static_cast<int32_t>(kCallShapes.size());
            nextCallNs_ = start + static_cast<int64_t>(uniform(5.0, 40.0) * kNsPerMs);
            // A constant-frequency bat keeps its own frequency: one of the two bands.
            passCfHz_ = uniform() < 0.5 ? uniform(80000, 86000) : uniform(104000, 110000);
            break;
        case Episode::Noise:
            seconds = uniform(2.0, 8.0);
            noiseBytes_ = 0;
            break;
        case Episode::Silence:
            seconds = uniform(1.0, 4.0);
            break;
    }
    episodeStartNs_ = start;
    episodeEndNs_ = start + static_cast<int64_t>(seconds * kNsPerSecond);
    cursorNs_ = start;
}

void SimulatedNight::generateMore() {
    const bool bats = options_.mix != NightMix::Noise && options_.callsPerSecond > 0;
    const bool noise = options_.mix != NightMix::Passes && options_.noiseLoadPercent > 0;
    if (!bats && !noise) {
        // Nothing ever crosses zero: the crossing after the last one never comes.
        queue_.push_back(Crossing{std::numeric_limits<int64_t>::max(), Episode::Silence});
        return;
    }
    while (queue_.empty()) {
        if (cursorNs_ >= episodeEndNs_) planEpisode();
        switch (episode_) {
            case Episode::Pass:
                if (nextCallNs_ < episodeEndNs_) {
                    addCall();
                } else {
                    cursorNs_ = episodeEndNs_;
                }
                break;
            case Episode::Noise:
                addNoise();
                break;
            case Episode::Silence:
                cursorNs_ = episodeEndNs_;
                break;
        }
    }
}

int32_t SimulatedNight::planCall(std::array<Segment, 3>& segments) {
    switch (callType_) {
        case 0:
            segments[0] = {uniform(95000, 112000), uniform(28000, 35000), 1.0};
            return 1;
        case 1: {
            const double tail = uniform(44000, 47000);
            const double knee = tail * uniform(1.05, 1.1);
            segments[0] = {uniform(68000, 80000), knee, 0.4};
            segments[1] = {knee, tail, 0.6};
            return 2;
        }
        case 2:
            segments[0] = {uniform(24000, 27000), uniform(20000, 21500), 1.0};
            return 1;
        default: {
            const double cf = passCfHz_ * uniform(0.997, 1.003);
            // The FM ends take about 2 and 3 ms whatever the call's length.
            segments[0] = {cf * 0.93, cf, 0.04};
            segments[1] = {cf, cf * 0.995, 0.9};
            segments[2] = {cf * 0.995, cf * 0.8, 0.06};
            return 3;
        }
    }
}

void SimulatedNight::addCall() {
    const CallType& type = kCallShapes[static_cast<size_t>(callType_)];
    std::array<Segment, 3> segments{};
    const int32_t parts = planCall(segments);
    double high = 0, low = 1e12;
    for (int32_t i = 0; i < parts; ++i) {
        high = std::max({high, segments[i].fromHz, segments[i].toHz});
        low = std::min({low, segments[i].fromHz, segments[i].toHz});
    }
    // Calls are shorter (their ends drown in the noise floor) while the bat is far away, at the
    // beginning and the end of its pass.
    const double position = static_cast<double>(nextCallNs_ - episodeStartNs_) /
                            static_cast<double>(episodeEndNs_ - episodeStartNs_);
    const double loudness =
        0.75 + 0.25 * std::sin(std::numbers::pi * std::clamp(position, 0.0, 1.0));
    const double duration = uniform(type.durationLo, type.durationHi) * loudness / 1000.0;

    // Within a segment the divided signal's period grows linearly from p0 to p1, so its phase
    // in cycles is ln(1 + k t / p0) / k with k = (p1 - p0) / length, and the phase φ comes at
    // t = p0 (exp(k φ) - 1) / k. Zero crossings fall every half cycle, carried across the
    // segments' joins; the first comes at the call's start.
    const double ratio = options_.ratio;
    const int64_t callStart = nextCallNs_;
    const int64_t call = calls_++;
    int64_t end = callStart;
    double segmentStart = 0;  // seconds from the call's start
    double sinceCrossing = 0.5;
    for (int32_t i = 0; i < parts; ++i) {
        const Segment& seg = segments[static_cast<size_t>(i)];
        const double length = duration * seg.share;
        const double p0 = ratio / seg.fromHz;
        const double p1 = ratio / seg.toHz;
        const double k = (p1 - p0) / length;
        const bool linear = std::abs(k) < 1e-12;
        for (int64_t m = 1;; ++m) {
            const double phase = static_cast<double>(m) / 2.0 - sinceCrossing;
            const double t = linear ? p0 * phase : p0 * std::expm1(k * phase) / k;
            if (t > length) break;
            end = callStart + static_cast<int64_t>(std::llround((segmentStart + t) * kNsPerSecond));
            emit(Crossing{end, Episode::Pass, call, passes_ - 1, static_cast<float>(high),
                          static_cast<float>(low), callType_});
        }
        const double total = linear ? length / p0 : std::log1p(k * length / p0) / k;
        sinceCrossing = std::fmod(sinceCrossing + total, 0.5);
        segmentStart += length;
    }
    const double repeat = uniform(type.repeatLo, type.repeatHi) / 1000.0;
    nextCallNs_ =
        std::max(callStart + static_cast<int64_t>(repeat * kNsPerSecond), end + 5 * kNsPerMs);
    cursorNs_ = end;
}

void SimulatedNight::addNoise() {
    // One burst of crossings at a time, so the queue stays short.
    for (int i = 0; i < 64; ++i) {
        const int64_t offset = std::max<int64_t>(episodeStartNs_ / kNsPerUs - lastMicros_, 0);
        const int64_t micros = lastMicros_ + offset + chooseNoiseInterval(offset);
        if (micros * kNsPerUs >= episodeEndNs_) {
            cursorNs_ = episodeEndNs_;
            return;
        }
        // Only an interval that is sent counts for the alternation.
        lastNoiseShort_ = micros - lastMicros_ < 128;
        noiseBytes_ += wire::encodedSize(static_cast<uint32_t>(micros - lastMicros_));
        emit(Crossing{micros * kNsPerUs, Episode::Noise});
        cursorNs_ = micros * kNsPerUs;
    }
}

// The next noise interval, in µs, after `offset` µs of silence since the last crossing (the
// silence before the episode began). Short (8-40 µs) and long (128-360 µs, or longer as a
// pause that holds the line load) intervals alternate: a short one between two long ones, or
// a long one between two short ones, is never smooth by the call detector's rule for slacks
// up to 4, so noise never makes a run. Every pair takes exactly three bytes on the line.
int64_t SimulatedNight::chooseNoiseInterval(int64_t offset) {
    const bool shortOne = !lastNoiseShort_ && offset == 0;
    if (shortOne) return static_cast<int64_t>(std::exp(uniform(std::log(8.0), std::log(40.0))));
    const int64_t episodeStartUs = episodeStartNs_ / kNsPerUs;
    const double bytesPerUs = options_.noiseLoadPercent / 100.0 * options_.lineBytesPerSecond / 1e6;
    const double due = static_cast<double>(lastMicros_ + offset - episodeStartUs) * bytesPerUs;
    const double ahead = static_cast<double>(noiseBytes_) - due;
    double interval = std::exp(uniform(std::log(128.0), std::log(360.0)));
    if (ahead > 24) interval = std::max(interval, ahead / bytesPerUs * uniform(0.8, 1.2));
    return static_cast<int64_t>(std::min(interval, 50000.0));
}

}  // namespace acquisition
