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

// One kind of bat: where its calls start and end (Hz), how long they last and how often they
// come (ms, start to start). Modelled on the FM calls of common European bats; all lie
// within 20-120 kHz.
struct Species {
    double highLo, highHi;
    double lowLo, lowHi;
    double durationLo, durationHi;
    double repeatLo, repeatHi;
};

constexpr std::array<Species, 5> kSpecies{{
    {72000, 78000, 44000, 48000, 4.0, 6.0, 70, 100},    // pipistrelle-like, FM with a tail
    {95000, 110000, 28000, 35000, 2.5, 4.0, 80, 120},   // myotis-like, steep broadband FM
    {26000, 30000, 20000, 21500, 8.0, 12.0, 150, 200},  // noctule-like, shallow and low
    {52000, 58000, 24000, 27000, 6.0, 9.0, 110, 160},   // serotine-like
    {110000, 119000, 75000, 85000, 2.0, 3.0, 50, 70},   // a small high-pitched FM bat
}};

}  // namespace

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
            species_ = static_cast<int32_t>(uniform() * kSpecies.size()) %
                       static_cast<int32_t>(kSpecies.size());
            nextCallNs_ = start + static_cast<int64_t>(uniform(5.0, 40.0) * kNsPerMs);
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

void SimulatedNight::addCall() {
    const Species& s = kSpecies[static_cast<size_t>(species_)];
    const double high = uniform(s.highLo, s.highHi);
    const double low = uniform(s.lowLo, s.lowHi);
    // Calls are shorter (their ends drown in the noise floor) while the bat is far away, at the
    // beginning and the end of its pass.
    const double position = static_cast<double>(nextCallNs_ - episodeStartNs_) /
                            static_cast<double>(episodeEndNs_ - episodeStartNs_);
    const double loudness =
        0.75 + 0.25 * std::sin(std::numbers::pi * std::clamp(position, 0.0, 1.0));
    const double duration = uniform(s.durationLo, s.durationHi) * loudness / 1000.0;

    // The divided signal's period grows linearly from p0 to p1 over the call, so its phase in
    // cycles is ln(1 + k t / p0) / k with k = (p1 - p0) / duration, and the m-th zero crossing
    // (half a cycle each) comes at t = p0 (exp(k m / 2) - 1) / k.
    const double ratio = options_.ratio;
    const double p0 = ratio / high;
    const double p1 = ratio / low;
    const double k = (p1 - p0) / duration;
    const int64_t callStart = nextCallNs_;
    const int64_t call = calls_++;
    int64_t end = callStart;
    for (int64_t m = 0;; ++m) {
        const double half = static_cast<double>(m) / 2.0;
        const double t = std::abs(k) > 1e-12 ? p0 * std::expm1(k * half) / k : p0 * half;
        if (t > duration) break;
        end = callStart + static_cast<int64_t>(std::llround(t * kNsPerSecond));
        emit(Crossing{end, Episode::Pass, call, passes_ - 1, static_cast<float>(high),
                      static_cast<float>(low)});
    }
    const double repeat = uniform(s.repeatLo, s.repeatHi) / 1000.0;
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
