#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "gps/GpsFix.h"

// Turns the byte stream of an NMEA 0183 receiver into the current fix. Reads GGA, GSA, GSV
// and RMC sentences of the "$GP" talker, and GGA, GSA and RMC of the "$GN" talker (the
// solution of several satellite systems together, which receivers that also track GLONASS,
// Galileo or BeiDou send in place of "$GP"); everything else is dropped silently and a
// sentence that fails any check leaves the current fix as it was. Satellites in view are
// listed from the GPS satellites' own GSV sentences only. Fed one byte at a time;
// no locking of its own (the GPS link serialises access).
class GpsReceiver {
  public:
    // AddChar results; at most one per call.
    static constexpr int32_t kNothing = 0;
    static constexpr int32_t kGga = 1;
    static constexpr int32_t kGsa = 2;
    static constexpr int32_t kSatellites = 4;
    static constexpr int32_t kRmc = 8;

    // Bits of `validity`.
    static constexpr uint32_t kValidFix = 1;
    static constexpr uint32_t kValidDifferential = 2;
    static constexpr uint32_t kValid3D = 4;

    // NMEA allows 82 characters per sentence; real receivers overrun that a little (long
    // fractional parts). Anything longer than this is not a sentence but noise, and is
    // dropped before it can grow memory.
    static constexpr int32_t kMaxSentenceLength = 254;

    // Values no receiver on this planet can report. A sentence that claims a fix with one of
    // them is damaged however its checksum came out, and is dropped like one with a bad
    // checksum: the fix keeps its last good values.
    static constexpr double kMaxLatitude = 90.0;
    static constexpr double kMaxLongitude = 180.0;
    static constexpr double kMinAltitude = -1000.0;
    static constexpr double kMaxAltitude = 100000.0;
    static constexpr int32_t kMaxSatellitesUsed = 99;
    static constexpr double kMaxDop = 99.9;

    using Clock = std::function<JulianTime()>;

    GpsReceiver();
    // The clock stamped into `receivedAt`; the device's local clock by default.
    void setClock(Clock clock);
    // The clock stamped into `receivedAtUtc`; the device's clock in UTC by default.
    void setUtcClock(Clock clock);

    int32_t AddChar(int32_t c);
    // The input has ended (the end of a log): a last sentence complete up to its checksum is
    // taken as if its line had ended, and a satellite list still being collected is
    // committed, since no later sentence will come to do it. Result as AddChar's.
    int32_t EndOfInput();
    void Reset();

    const GpsFix& current() const { return current_; }
    uint32_t validity() const { return validity_; }

    // Field parsers, exposed because their rules are part of the format contract.
    static bool ParseInt(std::string_view text, int32_t& value);
    static bool ParseReal(std::string_view text, double& value);
    static bool ParseLatLon(std::string_view number, std::string_view hemisphere, double& degrees);
    static bool ParseTime(std::string_view text, JulianTime& timeOfDay);
    static bool ParseDate(std::string_view text, JulianTime& date);

  private:
    void StartSentence();
    bool VerifyChecksum() const;
    void SplitFields();
    int32_t ParseSentence();
    int32_t ParseGGA();
    int32_t ParseGSA();
    int32_t ParseGSV();
    int32_t ParseRMC();
    int32_t CommitSatellites();

    GpsFix current_;
    uint32_t validity_ = 0;
    GpsFix work_;

    // The sentence from its '$' up to, not including, '*'.
    std::array<char, kMaxSentenceLength + 1> sentence_{};
    int32_t charCount_ = 0;
    bool inSentence_ = false;
    bool starSeen_ = false;
    bool checksumStarted_ = false;
    bool checksumOk_ = false;
    uint32_t xorSum_ = 0;
    // A third checksum character already fails the check, so three places suffice.
    std::array<char, 3> checksumText_{};
    int32_t checksumLength_ = 0;

    int32_t fieldCount_ = 0;
    std::array<std::string_view, kMaxSentenceLength> fields_{};

    Clock clock_;
    Clock utcClock_;
};
