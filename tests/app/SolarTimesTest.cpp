// Sunrise and sunset against published tables. Every reference time below is copied from the
// source named beside it, never computed here; the tables give whole minutes, so a computed
// time may differ from them by up to a minute.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/SolarTimes.h"
#include "app/StationSchedule.h"

namespace {

int64_t dayOf(const char* date) {
    const auto day = station::parseDate(date);
    EXPECT_TRUE(day.has_value()) << date;
    return day.value_or(0);
}

// The UTC instant of "hh:mm" on `date`.
int64_t at(const char* date, int hour, int minute) {
    return dayOf(date) * 86400 + hour * 3600 + minute * 60;
}

void expectWithinAMinute(std::optional<int64_t> computed, int64_t published, const char* what) {
    ASSERT_TRUE(computed.has_value()) << what << ": no event computed";
    EXPECT_LE(std::llabs(*computed - published), 60)
        << what << ": computed " << station::utcText(*computed) << ", published "
        << station::utcText(published);
}

// Astronomy Answers (aa.quae.nl/en/antwoorden/zonpositie-tabel.html), "The Position of the Sun:
// Tables", Table 1 "Time of Sunrise for Days and Latitudes", row 01-01 of the year 2002. Its
// times are local mean solar time, which on the Greenwich meridian is UT.
TEST(SolarTimes, SunriseOnTheGreenwichMeridianAgreesWithTheLatitudeTable) {
    const int64_t day = dayOf("2002-01-01");
    struct Row {
        double latitude;
        int hour, minute;
    };
    const Row rows[] = {
        {0, 6, 0}, {+40, 7, 22}, {+50, 7, 59}, {-40, 4, 35}, {-64, 1, 43},
    };
    for (const Row& r : rows) {
        const auto events = solar::sunEvents(day, r.latitude, 0.0);
        expectWithinAMinute(events.sunrise, at("2002-01-01", r.hour, r.minute),
                            ("latitude " + std::to_string(r.latitude)).c_str());
    }
    // The same row: "0:00" (no sunrise) south of 66°, where the sun stays up all day. (At
    // 66° itself the sun grazes the horizon, which is too close to call.)
    EXPECT_FALSE(solar::sunEvents(day, -68.0, 0.0).sunrise.has_value());
    EXPECT_FALSE(solar::sunEvents(day, -68.0, 0.0).sunset.has_value());
}

// London at the winter solstice of 2022: sunrise 8:03, sunset 15:53 GMT (timeanddate.com's
// figures, as quoted by the British press on 21 December 2022).
TEST(SolarTimes, LondonAtTheWinterSolstice) {
    const auto events = solar::sunEvents(dayOf("2022-12-21"), 51.5074, -0.1278);
    expectWithinAMinute(events.sunrise, at("2022-12-21", 8, 3), "sunrise");
    expectWithinAMinute(events.sunset, at("2022-12-21", 15, 53), "sunset");
}

// Fairbanks, Alaska, on 21 December 2012: sunrise 10:58, sunset 14:41 AKST (UTC-9), as
// reported that day by a Fairbanks weather blog (mbar.us, "All uphill from here").
TEST(SolarTimes, FairbanksAtTheWinterSolstice) {
    const auto events = solar::sunEvents(dayOf("2012-12-21"), 64.8378, -147.7164);
    expectWithinAMinute(events.sunrise, at("2012-12-21", 10 + 9, 58), "sunrise");
    expectWithinAMinute(events.sunset, at("2012-12-21", 14 + 9, 41), "sunset");
}

// Inside the polar circle the sun stays down through the December solstice and up through
// the June one (Tromsø, 69.65° N).
TEST(SolarTimes, PolarNightAndMidnightSunHaveNoEvents) {
    const auto winter = solar::sunEvents(dayOf("2022-12-21"), 69.65, 18.96);
    EXPECT_FALSE(winter.sunrise.has_value());
    EXPECT_FALSE(winter.sunset.has_value());
    const auto summer = solar::sunEvents(dayOf("2022-06-21"), 69.65, 18.96);
    EXPECT_FALSE(summer.sunrise.has_value());
    EXPECT_FALSE(summer.sunset.has_value());
    // Far from the solstices the same place has both.
    const auto equinox = solar::sunEvents(dayOf("2022-03-20"), 69.65, 18.96);
    EXPECT_TRUE(equinox.sunrise.has_value());
    EXPECT_TRUE(equinox.sunset.has_value());
}

TEST(SolarTimes, TheSolarDayFollowsTheLongitude) {
    const int64_t day = dayOf("2024-05-01");
    // Mean noon at 150° E is 02:00 UTC of the same day, at 150° W 22:00 UTC.
    EXPECT_EQ(solar::solarDayNearest(day * 86400 + 3 * 3600, 150.0), day);
    EXPECT_EQ(solar::solarDayNearest(day * 86400 + 21 * 3600, -150.0), day);
    EXPECT_EQ(solar::solarDayNearest(day * 86400 + 21 * 3600, 150.0), day + 1);
}

}  // namespace
