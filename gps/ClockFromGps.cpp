#include "gps/ClockFromGps.h"

#include <cmath>

#include "app/AppSettings.h"
#include "gps/GpsPoll.h"
#include "platform/LocalClockSetter.h"

ClockFromGps::ClockFromGps(Setter setter, Now now)
    : setter_(setter ? std::move(setter) : Setter([](const platform::LocalClockReading& r) {
          return platform::setUtcClock(r);
      })),
      now_(now ? std::move(now) : Now([] { return JulianTime::utcNow(); })) {}

bool ClockFromGps::ZoneInconsistent(int32_t gpsTz, double latitude, double longitude,
                                    int32_t month) {
    double e = (static_cast<double>(gpsTz) / 60.0) * 15.0 - longitude;
    if (latitude < 0) {
        if (month < 5 || month > 8) e -= 15.0;
    } else if (month >= 3 && month <= 10) {
        e -= 15.0;
    }
    return std::fabs(e) > 7.5;
}

std::string ClockFromGps::SetClockFromGps(GpsPositionSource& link) const {
    JulianTime offset;
    if (!link.GetClockOffset(offset)) return kCouldNotSet;
    const JulianTime n = now_() - offset;
    platform::LocalClockReading r;
    if (!n.isValid() || !n.dateFields(r.year, r.month, r.day)) return kCouldNotSet;
    int32_t us = 0;
    n.timeFields(r.hour, r.minute, r.second, us);
    r.microsecond = (us / 1000) * 1000;  // the clock is set to the millisecond
    // A refused setter must not be reported as a set clock.
    if (!setter_(r)) return kCouldNotSet;
    double lat = 0.0, lon = 0.0, alt = 0.0;
    if (link.GetPosition(lat, lon, alt) < 1) return kNoFix;
    return ZoneInconsistent(appSettings().GPStz, lat, lon, r.month) ? kZoneInconsistent : kClockSet;
}
