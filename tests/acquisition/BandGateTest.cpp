// The spectral gate on synthetic audio whose parts are known apart: weak calls under hiss,
// a band that sings all the time, digital silence and a sample that is not a number.
#include "acquisition/BandGate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "acquisition/BandBackground.h"

using acquisition::BandBackground;
using acquisition::BandGate;

namespace {

constexpr double kRate = 384000;

// Through the gate in uneven blocks, as a file is read.
std::vector<float> gated(const std::vector<float>& audio, double cutOffHz = 12000) {
    BandBackground background(kRate);
    background.add(audio);
    background.finish();
    BandGate gate(background, cutOffHz);
    std::vector<float> out;
    for (size_t at = 0; at < audio.size(); at += 1000) {
        gate.feed(
            std::span<const float>(audio).subspan(at, std::min<size_t>(1000, audio.size() - at)),
            out);
    }
    gate.finish(out);
    return out;
}

double powerDb(const std::vector<float>& a, size_t from, size_t to,
               const std::vector<float>* minus = nullptr) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) {
        const double v = a[i] - (minus ? (*minus)[i] : 0.0F);
        sum += v * v;
    }
    return 10 * std::log10(sum / static_cast<double>(to - from) + 1e-30);
}

TEST(BandGate, WeakCallsComeOutOfTheHissAndASteadyBandIsTakenAway) {
    // One second of hiss at -40 dB with an 18 kHz band at -30 dB singing throughout, and a
    // 45 kHz call of 5 ms every 50 ms, 6 dB below the hiss over the whole band.
    const size_t n = static_cast<size_t>(kRate);
    const auto callLength = static_cast<size_t>(0.005 * kRate);
    const auto period = static_cast<size_t>(0.05 * kRate);
    std::vector<float> calls(n, 0.0F), audio(n);
    std::mt19937 random(5);
    std::normal_distribution<float> hiss(0, 0.01F);
    const double callAmplitude = 0.01 * std::sqrt(2.0) * std::pow(10, -6.0 / 20);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        if (i % period >= period / 2 && i % period < period / 2 + callLength) {
            calls[i] =
                static_cast<float>(callAmplitude * std::sin(2 * std::numbers::pi * 45000 * t));
        }
        const double band = 0.0316 * std::sqrt(2.0) * std::sin(2 * std::numbers::pi * 18000 * t);
        audio[i] = static_cast<float>(hiss(random) + band + calls[i]);
    }
    const std::vector<float> out = gated(audio);
    ASSERT_EQ(out.size(), audio.size());

    // Inside the calls (their first and last millisecond aside) what comes out is the call,
    // in its place to a fraction of a sample: a sample's shift would leave an error of -3 dB.
    // Between them (their neighbourhood aside) hardly anything comes out.
    double worstCall = -100, loudestGap = -100;
    for (size_t c = period / 2; c + period / 2 < n; c += period) {
        const size_t ms = static_cast<size_t>(kRate / 1000);
        const double call = powerDb(calls, c + ms, c + callLength - ms);
        worstCall = std::max(worstCall, powerDb(out, c + ms, c + callLength - ms, &calls) - call);
        loudestGap = std::max(loudestGap, powerDb(out, c + callLength + 3 * ms, c + period / 2));
    }
    const double callDb = 20 * std::log10(callAmplitude / std::sqrt(2.0));
    // The error against the call alone: the hiss of its own few kilohertz, and no shift.
    EXPECT_LT(worstCall, -6);
    EXPECT_LT(loudestGap, callDb - 20) << "the hiss and the band came through";
    EXPECT_GT(
        powerDb(audio, period / 2 + callLength + 3 * static_cast<size_t>(kRate / 1000), period),
        callDb + 10);  // they were there to be taken away
}

TEST(BandGate, DigitalSilencePassesUntouchedAndANanKeepsItsPlace) {
    // A tone that starts and stops abruptly in digital silence: nothing to take away, so the
    // samples come out as they went in, and a sample that is not a number comes out as one.
    std::vector<float> audio(static_cast<size_t>(kRate / 10), 0.0F);
    for (size_t i = 10000; i < 12000; ++i) {
        audio[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 40000 * i / kRate));
    }
    audio[11000] = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> out = gated(audio);
    ASSERT_EQ(out.size(), audio.size());
    for (size_t i = 0; i < audio.size(); ++i) {
        if (i == 11000) {
            EXPECT_TRUE(std::isnan(out[i]));
        } else {
            ASSERT_NEAR(out[i], audio[i], 1e-5) << i;
        }
    }
}

}  // namespace
