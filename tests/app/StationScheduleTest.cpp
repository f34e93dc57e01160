// The station's night: when it waits and when it records, by the sun or by fixed hours, the
// evening a moment belongs to, and the configuration file.
#include <gtest/gtest.h>

#include "app/SolarTimes.h"
#include "app/StationConfig.h"
#include "app/StationSchedule.h"

using station::Decision;
using station::Position;
using station::SchedulePlan;
using station::UtcOffsetAt;

namespace {

UtcOffsetAt fixedOffset(int64_t seconds) {
    return [seconds](int64_t) { return seconds; };
}

int64_t day(const char* date) {
    return station::parseDate(date).value();
}
int64_t utc(const char* date, int h, int m, int s = 0) {
    return day(date) * 86400 + h * 3600 + m * 60 + s;
}

const Position kLondon{51.5074, -0.1278};
const Position kTromso{69.65, 18.96};

TEST(StationSchedule, WaitsForSunsetRecordsThroughTheNightAndStopsAtSunrise) {
    const SchedulePlan plan;
    const auto gmt = fixedOffset(0);
    const auto night = station::sunNight(day("2022-12-21"), kLondon, gmt);
    ASSERT_TRUE(night.sunset && night.sunrise);
    // The night of the 21st: sunset that evening, sunrise on the 22nd.
    EXPECT_EQ(station::utcText(*night.sunset).substr(0, 10), "2022-12-21");
    EXPECT_EQ(station::utcText(*night.sunrise).substr(0, 10), "2022-12-22");
    EXPECT_EQ(
        *night.sunrise - solar::sunEvents(day("2022-12-22"), 51.5074, -0.1278).sunrise.value(), 0);

    const Decision afternoon = station::decide(utc("2022-12-21", 14, 0), kLondon, plan, gmt);
    EXPECT_FALSE(afternoon.record);
    EXPECT_EQ(afternoon.until, *night.sunset);
    EXPECT_EQ(afternoon.night.localDay, day("2022-12-21"));

    for (const int64_t inside :
         {*night.sunset, utc("2022-12-21", 23, 59), utc("2022-12-22", 3, 0), *night.sunrise - 1}) {
        const Decision d = station::decide(inside, kLondon, plan, gmt);
        EXPECT_TRUE(d.record) << station::utcText(inside);
        EXPECT_EQ(d.until, *night.sunrise);
        // The early hours still belong to the evening of the 21st.
        EXPECT_EQ(d.night.localDay, day("2022-12-21")) << station::utcText(inside);
    }

    const Decision morning = station::decide(*night.sunrise, kLondon, plan, gmt);
    EXPECT_FALSE(morning.record);
    EXPECT_EQ(morning.night.localDay, day("2022-12-22"));
    EXPECT_GT(morning.until, utc("2022-12-22", 15, 0));
}

TEST(StationSchedule, OffsetsMoveBothEndsOfTheNight) {
    const auto gmt = fixedOffset(0);
    SchedulePlan plan;
    plan.sunsetOffset = -30 * 60;
    plan.sunriseOffset = 45 * 60;
    const auto sun = station::sunNight(day("2022-12-21"), kLondon, gmt);
    const auto night = station::nightOf(day("2022-12-21"), kLondon, plan, gmt);
    EXPECT_FALSE(night.fixedHours);
    EXPECT_EQ(night.start, *sun.sunset - 1800);
    EXPECT_EQ(night.stop, *sun.sunrise + 2700);
    EXPECT_TRUE(station::decide(*sun.sunset - 1000, kLondon, plan, gmt).record);
    EXPECT_TRUE(station::decide(*sun.sunrise + 2000, kLondon, plan, gmt).record);
    EXPECT_FALSE(station::decide(*sun.sunrise + 2700, kLondon, plan, gmt).record);

    // Offsets that eat the night leave nothing to record that evening.
    plan.sunsetOffset = 20 * 3600;
    const auto none = station::nightOf(day("2022-12-21"), kLondon, plan, gmt);
    EXPECT_EQ(none.start, none.stop);
    EXPECT_FALSE(station::decide(none.start, kLondon, plan, gmt).record);
}

TEST(StationSchedule, FixedHoursServeWithoutAPositionAndInPolarNightOrDay) {
    SchedulePlan plan;
    plan.fixedStart = 21 * 3600 + 30 * 60;
    plan.fixedStop = 5 * 3600;
    const auto cet = fixedOffset(3600);  // the clock one hour ahead of UTC
    for (const auto& where : {std::optional<Position>{}, std::optional<Position>{kTromso}}) {
        for (const char* date : {"2022-12-21", "2022-06-21"}) {
            const auto night = station::nightOf(day(date), where, plan, cet);
            if (where && std::string(date) == "2022-06-21") {
                EXPECT_FALSE(night.sun.sunset.has_value());  // midnight sun
            }
            EXPECT_TRUE(night.fixedHours) << date;
            EXPECT_EQ(night.start, utc(date, 20, 30));       // 21:30 local
            EXPECT_EQ(night.stop, utc(date, 4, 0) + 86400);  // 05:00 local the next day
        }
    }
    // A stop later in the day than the start stays on the same date.
    plan.fixedStart = 1 * 3600;
    plan.fixedStop = 4 * 3600;
    const auto early = station::nightOf(day("2022-12-21"), std::nullopt, plan, cet);
    EXPECT_EQ(early.stop - early.start, 3 * 3600);
    EXPECT_TRUE(station::decide(utc("2022-12-21", 1, 0), std::nullopt, plan, cet).record);
}

TEST(StationSchedule, TheEveningRunsFromNoonToNoonOnTheLocalClock) {
    const auto nz = fixedOffset(13 * 3600);  // New Zealand summer time
    // 23:59 and 00:01 local on either side of midnight, and 11:59 the next morning.
    EXPECT_EQ(station::eveningDayAt(utc("2024-01-10", 10, 59), nz), day("2024-01-10"));
    EXPECT_EQ(station::eveningDayAt(utc("2024-01-10", 11, 1), nz), day("2024-01-10"));
    EXPECT_EQ(station::eveningDayAt(utc("2024-01-10", 22, 59), nz), day("2024-01-10"));
    EXPECT_EQ(station::eveningDayAt(utc("2024-01-10", 23, 0), nz), day("2024-01-11"));
    EXPECT_EQ(station::localDayAt(utc("2024-01-10", 11, 1), nz), day("2024-01-11"));
    const auto west = fixedOffset(-8 * 3600);
    EXPECT_EQ(station::eveningDayAt(utc("2024-01-11", 7, 30), west), day("2024-01-10"));
    EXPECT_EQ(station::dateText(day("2024-02-29")), "2024-02-29");
    EXPECT_EQ(station::dateText(-1), "1969-12-31");
}

TEST(StationSchedule, LocalTimesFollowASummerTimeChange) {
    // Summer time (+2 h) from 2024-03-31 01:00 UTC, winter (+1 h) before.
    const int64_t change = utc("2024-03-31", 1, 0);
    const UtcOffsetAt europe = [change](int64_t t) { return t >= change ? 7200 : 3600; };
    EXPECT_EQ(station::utcOfLocal(day("2024-03-30"), 20 * 3600, europe), utc("2024-03-30", 19, 0));
    EXPECT_EQ(station::utcOfLocal(day("2024-03-31"), 6 * 3600, europe), utc("2024-03-31", 4, 0));
    SchedulePlan plan;
    const auto night = station::nightOf(day("2024-03-30"), std::nullopt, plan, europe);
    EXPECT_EQ(night.stop - night.start, 9 * 3600);  // an hour short that night
}

TEST(StationSchedule, DatesAndClockTimesAreReadStrictly) {
    EXPECT_EQ(station::parseDate("1970-01-02"), 1);
    for (const char* bad : {"2023-02-29", "2024-13-01", "2024-4-01", "2024-04-31", "x"}) {
        EXPECT_FALSE(station::parseDate(bad).has_value()) << bad;
    }
    EXPECT_EQ(station::parseClockTime("20:15"), 20 * 3600 + 15 * 60);
    EXPECT_EQ(station::parseClockTime("06:00:30"), 6 * 3600 + 30);
    for (const char* bad : {"24:00", "12:60", "12", "12:00:", "12:00x"}) {
        EXPECT_FALSE(station::parseClockTime(bad).has_value()) << bad;
    }
    EXPECT_EQ(station::utcText(utc("2024-01-10", 7, 8, 9)), "2024-01-10T07:08:09Z");
}

TEST(StationConfig, ReadsEveryKeyAndRejectsBadLines) {
    StationConfig c;
    std::string error;
    ASSERT_TRUE(
        parseStationConfig("# a station\n[station]\n port = 3 \ngps=4\ngps_baud=4800\n"
                           "dir=/var/lib/zelkora/bats\nlatitude=-33.5\nlongitude=151.25\n"
                           "sunset_offset=-30\nsunrise_offset=12.5\nfixed_start=19:00\n"
                           "fixed_stop=07:30\nmin_free_mb=50\nsearch_interval=5\n"
                           "log=/tmp/s.log\nstatus=/tmp/s.status\nhttp = 0.0.0.0:8080\n"
                           "http_token = a #token; with = signs\n\n; done\n",
                           c, error))
        << error;
    EXPECT_EQ(c.port, 3);
    EXPECT_EQ(c.gps, 4);
    EXPECT_EQ(c.gpsBaud, 4800);
    EXPECT_EQ(c.dir, "/var/lib/zelkora/bats");
    ASSERT_TRUE(c.position);
    EXPECT_DOUBLE_EQ(c.position->latitude, -33.5);
    EXPECT_DOUBLE_EQ(c.position->longitude, 151.25);
    EXPECT_EQ(c.plan.sunsetOffset, -1800);
    EXPECT_EQ(c.plan.sunriseOffset, 750);
    EXPECT_EQ(c.plan.fixedStart, 19 * 3600);
    EXPECT_EQ(c.plan.fixedStop, 7 * 3600 + 1800);
    EXPECT_EQ(c.minFreeBytes, 50ull << 20);
    EXPECT_EQ(c.searchIntervalSeconds, 5);
    EXPECT_EQ(c.logPath, "/tmp/s.log");
    EXPECT_EQ(c.statusPath, "/tmp/s.status");
    EXPECT_EQ(c.http, "0.0.0.0:8080");
    EXPECT_EQ(c.httpToken, "a #token; with = signs");

    const StationConfig defaults;
    EXPECT_EQ(defaults.minFreeBytes, 200ull << 20);
    EXPECT_EQ(defaults.searchIntervalSeconds, 60);

    const std::pair<const char*, const char*> bad[] = {
        {"port=0\n", "line 1: port: expected a port number"},
        {"\nlatitude=91\nlongitude=0\n", "line 2: latitude"},
        {"latitude=50\n", "latitude and longitude go together"},
        {"colour=red\n", "line 1: colour: unknown key"},
        {"sunset_offset=2000\n", "line 1: sunset_offset"},
        {"fixed_start=8pm\n", "line 1: fixed_start"},
        {"just words\n", "line 1: expected key = value"},
    };
    for (const auto& [text, expected] : bad) {
        StationConfig d;
        EXPECT_FALSE(parseStationConfig(text, d, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " gave " << error;
    }
}

}  // namespace
