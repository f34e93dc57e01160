// The machine's own zone, summer time included, reaches the GPS stamps and the GPStz
// default. Each case sets TZ for the process and puts it back afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "GpsTestSupport.h"
#include "app/AppSettings.h"
#include "gps/GpsLink.h"
#include "platform/LocalClock.h"
#include "sequence/JulianTime.h"
#include "support/ZoneGuard.h"

namespace {

using gps_test::readBytes;
using gps_test::withChecksum;

using testing_support::ZoneGuard;

int64_t unixSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return ::timegm(&t);
}

TEST(SystemZone, OffsetFollowsSummerTimeAndHalfHours) {
    {
        ZoneGuard zone("Europe/Berlin");
        // Summer time begins on 29 March 2026 at 01:00 UTC.
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(unixSeconds(2026, 3, 29, 0, 59, 59)), 3600);
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(unixSeconds(2026, 3, 29, 1, 0, 0)), 7200);
        // Past 2038 as well where time_t has 32 bits (counted without it here).
        const auto at = [](int year, int month, int day) {
            return JulianTime::fromDateTime(year, month, day, 12, 0, 0, 0).value() /
                   JulianTime::kSecond;
        };
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(at(2040, 7, 1)), 7200);
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(at(2071, 3, 28)), 3600);
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(at(2071, 3, 29)), 7200);  // last Sunday
    }
    {
        ZoneGuard zone("Australia/Adelaide");
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(unixSeconds(2026, 1, 15, 12, 0, 0)), 37800);
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(unixSeconds(2026, 7, 15, 12, 0, 0)), 34200);
    }
    {
        ZoneGuard zone("Asia/Kolkata");
        EXPECT_EQ(platform::localUtcOffsetSecondsAt(unixSeconds(2026, 7, 15, 12, 0, 0)), 19800);
        // A new profile's zone is the machine's, not a fixed 600 minutes.
        EXPECT_EQ(AppSettings().GPStz, 330);
    }
    {
        ZoneGuard zone("UTC");
        EXPECT_EQ(AppSettings().GPStz, 0);
    }
}

// With the receiver's own clocks, a record is stamped with the system's UTC, not with the
// local time less a configured zone.
TEST(SystemZone, TrackRecordCarriesTheSystemUtc) {
    gps_test::SettingsGuard guard;
    gps_test::TempFolder dir;
    for (const char* name : {"Asia/Kolkata", "Australia/Adelaide"}) {
        ZoneGuard zone(name);
        std::filesystem::remove(dir.path() / "GPS.zlg");
        appSettings().GPath = dir.folder();
        appSettings().GPStz = 600;
        GpsLink link;
        link.LoadSettings();
        link.OpenTrackFile();
        const int64_t before = static_cast<int64_t>(std::time(nullptr));
        for (char c : withChecksum("$GPGGA,120000,3455.000,S,13836.000,E,1,07,1.0,50.0,M,,M,,")) {
            link.FeedByte(static_cast<uint8_t>(c));
        }
        const int64_t after = static_cast<int64_t>(std::time(nullptr));
        std::vector<uint8_t> b = readBytes(dir.path() / "GPS.zlg");
        ASSERT_EQ(b.size(), 32u) << name;
        std::tm t{};
        t.tm_year = 100 + (b[0] - '0') * 10 + (b[1] - '0');
        t.tm_mon = (b[2] - '0') * 10 + (b[3] - '0') - 1;
        t.tm_mday = (b[4] - '0') * 10 + (b[5] - '0');
        const int32_t ms =
            static_cast<int32_t>(b[6] | b[7] << 8 | b[8] << 16 | static_cast<uint32_t>(b[9]) << 24);
        const int64_t stamped = int64_t{::timegm(&t)} + ms / 1000;
        EXPECT_GE(stamped, before) << name;
        EXPECT_LE(stamped, after) << name;
    }
}

}  // namespace
