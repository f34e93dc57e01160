#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/LocalClock.h"
#include "sequence/JulianTime.h"

class GpsPositionSource;

// The "Set Clock" command: sets the device's clock from the last GPS fix, corrected
// for the time since that fix (the device clock in UTC against GPS UTC), then checks that
// the configured zone GPStz fits the longitude and season. The result is the text the
// SetTimeFromGPS window shows.
class ClockFromGps {
  public:
    static constexpr const char* kCouldNotSet = "Could not set clock to GPS";
    static constexpr const char* kClockSet = "PDA clock set to GPS";
    static constexpr const char* kNoFix =
        "PDA clock set to GPS\n\nHowever, no valid fix\n so timezone not checked";
    static constexpr const char* kZoneInconsistent =
        "PDA clock set to GPS\n\nHowever, timezone seems inconsitent\n  with Longitude.\nPlease "
        "Check timezone,\nunder GPS, Settings";

    // Sets the clock to the given fields of UTC; false when the clock was not set.
    using Setter = std::function<bool(const platform::LocalClockReading&)>;
    // The device clock in UTC, as the clock offset is reckoned. (In local fields the hour
    // that comes twice when summer time ends would name two instants, and the clock could
    // be set an hour wrong.)
    using Now = std::function<JulianTime()>;

    // The platform's setter and UTC clock by default; tests inject both.
    explicit ClockFromGps(Setter setter = {}, Now now = {});

    std::string SetClockFromGps(GpsPositionSource& link) const;

    // Degrees between the configured zone's meridian and the position, less one hour of
    // summer time in the summer months of the hemisphere; true when more than 7.5 degrees.
    static bool ZoneInconsistent(int32_t gpsTz, double latitude, double longitude, int32_t month);

  private:
    Setter setter_;
    Now now_;
};
