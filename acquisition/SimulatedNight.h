#pragma once
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
    // How much of the line's capacity the noise uses, in percent (0: no noise).
    int32_t noiseLoadPercent = 85;
    int32_t lineBytesPerSecond = 11520;
};

// A synthetic night as the module sees it: the zero crossings of the detector's divided-down
// signal, in "scene time" (nanoseconds from the start of the scene).
//
// The module measures the time between successive zero crossings (both directions), so a
// signal of F / ratio Hz gives intervals of half its period, and the recorder's frequency
// ratio × 10^9 / (sum of two intervals in µs) mHz gives back F.
//
// Bat calls sweep down in frequency like the calls of the common European species, with the
// period growing linearly through the call; a pass repeats one species' call every 50-200 ms
// for a few seconds. Noise is irregular: none of its intervals is smooth by the recorder's
// call-detector rule (for slacks up to 4), so the detector never takes a run from noise and
// only bat passes make sequences worth keeping.
class SimulatedNight {
  public:
    enum class Episode { Pass, Noise, Silence };

    struct Crossing {
        int64_t timeNs = 0;
        Episode episode = Episode::Silence;
        int64_t call = -1;  // the number of the bat call it belongs to (from 0), -1 for noise
        int64_t pass = -1;  // the number of the pass that call belongs to (from 0)
        float highHz = 0;   // that call's sweep, from highHz down to lowHz
        float lowHz = 0;
    };

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
    int32_t species_ = 0;
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
