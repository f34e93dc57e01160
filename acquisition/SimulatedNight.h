#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <random>

namespace acquisition {

// What the simulated night is made of.
enum class NightMix {
    Night,   // bat passes, stretches of noise and stretches of silence
    Noise,   // noise only, without a break (fills the line to the noise load)
    Passes,  // bat passes separated by silence, no noise
};

struct NightOptions {
    uint64_t seed = 1;
    // The average number of bat calls per second over the whole stream (0: no bats). Calls come
    // in passes at 5 to 20 calls a second, so this sets how much of the night the passes fill;
    // passes that follow one another closely give about 10.
    double callsPerSecond = 3.0;
    // The detector's division ratio: a call of F Hz reaches the module as F / ratio Hz.
    int32_t ratio = 16;
    NightMix mix = NightMix::Night;
    // How much of the line's capacity the noise uses, in percent (0: no noise). The default is
    // a quiet night: a few stray dots between the passes; a busy line is asked for.
    int32_t noiseLoadPercent = 3;
    int32_t lineBytesPerSecond = 11520;
};

// A synthetic night as the module sees it: the zero crossings of the detector's divided-down
// signal, in "scene time" (nanoseconds from the start of the scene).
//
// The module measures the time between successive zero crossings (both directions), so a
// signal of F / ratio Hz gives intervals of half its period, and the recorder's frequency
// ratio × 10^9 / (sum of two intervals in µs) mHz gives back F.
//
// Bat calls have one of four shapes that biologists know: a steep FM sweep, an FM sweep ending
// in a quasi-constant-frequency tail near 45 kHz, a low shallow call near 20 kHz, and a
// constant-frequency call at 80-110 kHz with short FM ends. They last 1.5-60 ms; a pass repeats
// one kind of call every 70-400 ms for a few seconds. Noise is irregular: none of its intervals is
// smooth by the recorder's call-detector rule (for slacks up to 4), so the detector never takes a
// run from noise and only bat passes make sequences worth keeping.
class SimulatedNight {
  public:
    enum class Episode { Pass, Noise, Silence };

    struct Crossing {
        int64_t timeNs = 0;
        Episode episode = Episode::Silence;
        int64_t call = -1;  // the number of the bat call it belongs to (from 0), -1 for noise
        int64_t pass = -1;  // the number of the pass that call belongs to (from 0)
        float highHz = 0;   // the highest and lowest frequency of that call
        float lowHz = 0;
        int32_t callType = -1;  // that call's kind (0..kCallTypes - 1), -1 for noise
    };

    // The kinds of call: 0 steep FM, 1 FM with a quasi-constant tail, 2 low shallow,
    // 3 constant frequency with FM ends.
    static constexpr int32_t kCallTypes = 4;

    explicit SimulatedNight(const NightOptions& options);

    // The next crossing without taking it.
    const Crossing& peek();
    // Takes the next crossing. Crossing times rise strictly, by at least 1 µs each, so no
    // interval the module measures is 0.
    Crossing next();

    int64_t callsStarted() const { return calls_; }

    // True when the middle interval `a` (between `c` before it and `b` after it) counts as
    // smooth by the recorder's call detector with slack `k`.
    static bool smooth(int64_t c, int64_t a, int64_t b, int32_t k);

  private:
    void planEpisode();
    void generateMore();
    struct Segment;
    // The stretches of the next call of the pass's kind; returns how many.
    int32_t planCall(std::array<Segment, 3>& segments);
    void addCall();
    void addNoise();
    void emit(const Crossing& crossing);
    int64_t chooseNoiseInterval(int64_t offset);
    double uniform();
    double uniform(double low, double high) { return low + (high - low) * uniform(); }

    NightOptions options_;
    std::mt19937_64 random_;
    std::deque<Crossing> queue_;

    Episode episode_ = Episode::Silence;
    int64_t episodeStartNs_ = 0;
    int64_t episodeEndNs_ = 0;
    int64_t cursorNs_ = 0;  // everything before this has been generated

    // The pass in progress.
    int32_t callType_ = 0;
    double passCfHz_ = 0;  // the constant frequency of the pass's bat
    int64_t nextCallNs_ = 0;
    int64_t calls_ = 0;
    int64_t passes_ = 0;

    // The noise in progress: bytes it has put on the line, for the load.
    int64_t noiseBytes_ = 0;

    // The last crossing in whole microseconds, as the module measures it.
    int64_t lastMicros_ = 0;
    bool lastNoiseShort_ = false;
};

}  // namespace acquisition
