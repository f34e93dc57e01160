#include "gps/ClockFromGps.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "GpsTestSupport.h"
#include "gps/GpsPoll.h"
#include "support/ZoneGuard.h"

namespace {

class Source : public GpsPositionSource {
  public:
    bool IsPortOpen() const override { return true; }
    bool Drain() override { return false; }
    int32_t GetPosition(double& la, double& lo, double& al) const override {
        la = lat;
        lo = lon;
        al = 0;
        return fixClass;
    }
    bool GetClockOffset(JulianTime& o) override {
        o = offset;
        return known;
    }
    bool known = true;
    JulianTime offset{int64_t{500000}};
    int32_t fixClass = 5;
    double lat = -33.9, lon = 151.2;
};

struct Recorder {
    std::optional<platform::LocalClockReading> set;
    bool accept = true;
    ClockFromGps::Setter setter() {
        return [this](const platform::LocalClockReading& r) {
            set = r;
            return accept;
        };
    }
};

class ClockTest : public ::testing::Test {
  protected:
    std::string run(int32_t tz, JulianTime now) {
        appSettings().GPStz = tz;
        ClockFromGps clock(rec.setter(), [now] { return now; });
        return clock.SetClockFromGps(src);
    }
    gps_test::SettingsGuard guard;
    Source src;
    Recorder rec;
};

TEST_F(ClockTest, SetsTheClockBackByTheOffset) {
    const JulianTime now = JulianTime::fromDateTime(2026, 1, 6, 10, 0, 0, 0);
    EXPECT_EQ(run(660, now), ClockFromGps::kClockSet);
    ASSERT_TRUE(rec.set.has_value());
    EXPECT_EQ(rec.set->day, 6);
    EXPECT_EQ(rec.set->hour, 9);
    EXPECT_EQ(rec.set->minute, 59);
    EXPECT_EQ(rec.set->second, 59);
    EXPECT_EQ(rec.set->microsecond, 500000);
}

// The machine's own clock, in a zone with summer time: the setter is given the instant of the
// fix in UTC, which names one instant even in the hour that comes twice when summer time ends
// (on 25 October 2026 in Berlin, 02:30 local is both 00:30 and 01:30 UTC).
TEST_F(ClockTest, TheClockIsSetToTheFixInUtc) {
    ClockFromGps clock(rec.setter());
    const JulianTime before = JulianTime::utcNow();
    const std::string said = [&] {
        testing_support::ZoneGuard zone("Europe/Berlin");
        return clock.SetClockFromGps(src);
    }();
    const JulianTime after = JulianTime::utcNow();
    EXPECT_NE(said, ClockFromGps::kCouldNotSet);
    ASSERT_TRUE(rec.set.has_value());
    const platform::LocalClockReading& r = *rec.set;
    const JulianTime set =
        JulianTime::fromDateTime(r.year, r.month, r.day, r.hour, r.minute, r.second, r.microsecond);
    EXPECT_GE(set, before - src.offset - int64_t{1000});
    EXPECT_LE(set, after - src.offset);
}

TEST_F(ClockTest, FailuresAreReportedNeverAsSuccess) {
    const JulianTime now = JulianTime::fromDateTime(2026, 1, 6, 10, 0, 0, 0);
    src.known = false;
    EXPECT_EQ(run(660, now), ClockFromGps::kCouldNotSet);
    EXPECT_FALSE(rec.set.has_value());
    src.known = true;
    rec.accept = false;  // the platform refused
    EXPECT_EQ(run(660, now), ClockFromGps::kCouldNotSet);
    EXPECT_TRUE(rec.set.has_value());
}

TEST_F(ClockTest, NoFixSkipsTheZoneCheck) {
    src.fixClass = 0;
    EXPECT_EQ(run(0, JulianTime::fromDateTime(2026, 7, 1, 10, 0, 0, 0)), ClockFromGps::kNoFix);
    EXPECT_TRUE(rec.set.has_value());
}

TEST_F(ClockTest, ZoneCheckBySeasonAndHemisphere) {
    const JulianTime january = JulianTime::fromDateTime(2026, 1, 15, 10, 0, 0, 0);
    EXPECT_EQ(run(660, january), ClockFromGps::kClockSet);          // e = -1.2
    EXPECT_EQ(run(600, january), ClockFromGps::kZoneInconsistent);  // e = -16.2
    src.lat = 51.5;
    src.lon = -0.1;
    const JulianTime july = JulianTime::fromDateTime(2026, 7, 15, 10, 0, 0, 0);
    EXPECT_EQ(run(0, july), ClockFromGps::kZoneInconsistent);  // e = -14.9
    EXPECT_EQ(run(60, july), ClockFromGps::kClockSet);         // e = 0.1
    EXPECT_FALSE(ClockFromGps::ZoneInconsistent(0, 51.5, -0.1, 1));
    EXPECT_FALSE(ClockFromGps::ZoneInconsistent(600, -33.9, 151.2, 6));
    EXPECT_TRUE(ClockFromGps::ZoneInconsistent(600, -33.9, 151.2, 4));
}

}  // namespace
