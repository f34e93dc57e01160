#include "sequence/JulianTime.h"

#include <gtest/gtest.h>

#include "support/ZoneGuard.h"

namespace {

int64_t days(int64_t n) {
    return n * JulianTime::kDay;
}

TEST(JulianTimeCalendar, EpochAndNeighbouringDays) {
    EXPECT_EQ(JulianTime::fromDateTime(1970, 1, 1, 0, 0, 0, 0).value(), 0);
    EXPECT_EQ(JulianTime::fromDate(1970, 1, 2).value(), 86400000000LL);
    JulianTime before = JulianTime::fromDateTime(1969, 12, 31, 23, 59, 59, 0);
    EXPECT_EQ(before.value(), -1000000);
    EXPECT_EQ(before.dayCount(), -1);
    EXPECT_EQ(before.hour(), 23);
    EXPECT_EQ(before.timeOfDay(), JulianTime::kDay - 1000000);
}

TEST(JulianTimeCalendar, GregorianReformDaysAreConsecutive) {
    JulianTime lastJulian = JulianTime::fromDate(1582, 10, 4);
    JulianTime firstGregorian = JulianTime::fromDate(1582, 10, 15);
    EXPECT_EQ(lastJulian.dayCount(), -141428);
    EXPECT_EQ(firstGregorian.dayCount(), -141427);
    int32_t y, m, d;
    ASSERT_TRUE(lastJulian.dateFields(y, m, d));
    EXPECT_EQ((std::tuple{y, m, d}), (std::tuple{1582, 10, 4}));
    ASSERT_TRUE(firstGregorian.dateFields(y, m, d));
    EXPECT_EQ((std::tuple{y, m, d}), (std::tuple{1582, 10, 15}));
}

TEST(JulianTimeCalendar, RejectsOutOfRangeFieldsAndRollsOverLongMonths) {
    EXPECT_FALSE(JulianTime::fromDate(2011, 13, 1).isValid());
    EXPECT_FALSE(JulianTime::fromDate(2011, 1, 32).isValid());
    EXPECT_FALSE(JulianTime::fromDate(2011, 1, 0).isValid());
    EXPECT_FALSE(JulianTime::fromDate(-4716, 6, 1).isValid());
    EXPECT_FALSE(JulianTime::fromDateTime(2011, 0, 5, 0, 0, 0, 0).isValid());
    EXPECT_EQ(JulianTime::fromDate(2011, 2, 30), JulianTime::fromDate(2011, 3, 2));
    EXPECT_EQ(JulianTime::fromDateTime(0, 0, 0, 1, 0, 0, 0).value(), 3600000000LL);
}

TEST(JulianTimeCalendar, RoundTripsEveryDayOverCenturies) {
    // Both directions use different algorithms; walking day by day catches any off-by-one
    // at month, leap-year and century boundaries.
    int64_t start = JulianTime::fromDate(1582, 10, 15).dayCount();
    int64_t end = JulianTime::fromDate(2400, 3, 1).dayCount();
    int32_t py = 1582, pm = 10, pd = 14;
    for (int64_t n = start; n <= end; ++n) {
        int32_t y, m, d;
        ASSERT_TRUE(JulianTime(days(n)).dateFields(y, m, d));
        ASSERT_EQ(JulianTime::fromDate(y, m, d).dayCount(), n) << y << "-" << m << "-" << d;
        bool nextDay = (y == py && m == pm && d == pd + 1);
        bool nextMonth = (y == py && m == pm + 1 && d == 1);
        bool nextYear = (y == py + 1 && m == 1 && d == 1 && pm == 12 && pd == 31);
        ASSERT_TRUE(nextDay || nextMonth || nextYear) << y << "-" << m << "-" << d;
        py = y, pm = m, pd = d;
    }
}

TEST(JulianTimeCalendar, LeapYears) {
    EXPECT_EQ(
        JulianTime::fromDate(2000, 3, 1).dayCount() - JulianTime::fromDate(2000, 2, 28).dayCount(),
        2);
    EXPECT_EQ(
        JulianTime::fromDate(1900, 3, 1).dayCount() - JulianTime::fromDate(1900, 2, 28).dayCount(),
        1);
    // The Julian calendar keeps every fourth year, 1500 included.
    EXPECT_EQ(
        JulianTime::fromDate(1500, 3, 1).dayCount() - JulianTime::fromDate(1500, 2, 28).dayCount(),
        2);
}

TEST(JulianTimeCalendar, TooEarlyValueHasNoDate) {
    int32_t y = 0, m = 0, d = 0;
    EXPECT_FALSE(JulianTime::invalid().dateFields(y, m, d));
    EXPECT_EQ(y, INT32_MIN);
    EXPECT_EQ(m, INT32_MIN);
    EXPECT_EQ(d, INT32_MIN);
    JulianTime earliest = JulianTime::fromDate(-4715, 3, 1);
    ASSERT_TRUE(earliest.isValid());
    EXPECT_TRUE(earliest.dateFields(y, m, d));
}

TEST(JulianTimeFields, WeekdaysAndNegativeValues) {
    EXPECT_EQ(JulianTime(int64_t{0}).weekday(), 5);
    EXPECT_EQ(JulianTime(int64_t{-1}).weekday(), 4);
    JulianTime t = JulianTime::fromDateTime(2011, 7, 1, 9, 5, 7, 123456);
    EXPECT_EQ(t.hour(), 9);
    EXPECT_EQ(t.minute(), 5);
    EXPECT_EQ(t.second(), 7);
    EXPECT_EQ(t.microsecond(), 123456);
    EXPECT_EQ(t.millisecond(), 123);
    EXPECT_EQ(t.weekday(), 6);  // a Friday
}

TEST(JulianTimeArithmetic, OverflowGivesInvalid) {
    JulianTime max(INT64_MAX);
    EXPECT_FALSE((max + int64_t{1}).isValid());
    EXPECT_FALSE((JulianTime(INT64_MIN + 2) - int64_t{10}).isValid());
    EXPECT_EQ((JulianTime(int64_t{5}) - JulianTime(int64_t{7})).value(), -2);
    JulianTime t(int64_t{100});
    t += JulianTime(int64_t{50});
    t -= int64_t{25};
    EXPECT_EQ(t.value(), 125);
    EXPECT_FALSE(JulianTime(JulianTime::kUnitDays, INT32_MAX).isValid() &&
                 JulianTime(JulianTime::kUnitDays, INT32_MAX).value() < 0);
    EXPECT_EQ(JulianTime(JulianTime::kUnitSeconds, -3).value(), -3000000);
    EXPECT_EQ(JulianTime(JulianTime::kUnitZero, 77).value(), 0);
    EXPECT_FALSE(JulianTime(9, 1).isValid());
}

TEST(JulianTimeArithmetic, RealsRoundHalfAwayFromZero) {
    EXPECT_EQ(JulianTime::fromReal(2.5).value(), 3);
    EXPECT_EQ(JulianTime::fromReal(-2.5).value(), -3);
    EXPECT_FALSE(JulianTime::fromReal(9223372036854775808.0).isValid());
    EXPECT_FALSE(JulianTime::fromReal(-1e19).isValid());
    EXPECT_EQ(JulianTime::fromReal(-9223372036854775808.0).value(), INT64_MIN);
}

TEST(JulianTimeArithmetic, ComparesAsSignedNumbers) {
    JulianTime a(int64_t{-5}), b(int64_t{3});
    EXPECT_LT(a, b);
    EXPECT_GT(b, int64_t{2});
    EXPECT_EQ(b, int64_t{3});
    EXPECT_NE(a, b);
    EXPECT_LE(a, JulianTime(int64_t{-5}));
}

TEST(JulianTimeFormat, Patterns) {
    JulianTime t = JulianTime::fromDateTime(2011, 7, 1, 9, 5, 7, 123456);
    EXPECT_EQ(t.format("hh:mm:ss.ddd"), "09:05:07.123");
    EXPECT_EQ(t.format("ddd"), "123");
    EXPECT_EQ(t.format("ss:ddd"), "07:123");
    EXPECT_EQ(t.format("YY"), "11");
    EXPECT_EQ(t.format("W"), "W");
    EXPECT_EQ(t.format("WW"), "WW");
    EXPECT_EQ(t.format("WWW WWWW"), "Fri Friday");
    EXPECT_EQ(t.format("D MMM YYYY"), "1 Jul 2011");
    EXPECT_EQ(t.format("DD MMMM"), "01 July");
    EXPECT_EQ(t.format("hh:mm:ssdddddd"), "09:05:07.123456");
    EXPECT_EQ(t.format("h!  m@  sdddddd"), "9!  5@  7.123456");
    EXPECT_EQ(t.format("Y"), "Y");
    EXPECT_EQ(t.format("a.b"), "a.b");
    EXPECT_EQ(JulianTime::fromDate(1970, 1, 11).format("DDDD"), "00000010");
    EXPECT_EQ(t.format("dddddddd"), "123456");
}

// Berlin's clocks went back from 03:00 to 02:00 on 25 October 2026 (01:00 UTC) and go forward
// from 02:00 to 03:00 on 28 March 2027 (01:00 UTC).
TEST(JulianTimeZone, LocalAndUtcAcrossChangesOfSummerTime) {
    testing_support::ZoneGuard zone("Europe/Berlin");
    auto at = [](int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi) {
        return JulianTime::fromDateTime(y, mo, d, h, mi, 0, 250000);
    };
    // The hour that comes twice: its reading is taken for the later one.
    EXPECT_EQ(JulianTime::utcFromLocal(at(2026, 10, 25, 2, 30)), at(2026, 10, 25, 1, 30));
    EXPECT_EQ(JulianTime::localFromUtc(at(2026, 10, 25, 0, 30)), at(2026, 10, 25, 2, 30));
    EXPECT_EQ(JulianTime::localFromUtc(at(2026, 10, 25, 1, 30)), at(2026, 10, 25, 2, 30));
    // Either side of the skipped hour, and in it.
    EXPECT_EQ(JulianTime::utcFromLocal(at(2027, 3, 28, 1, 59)), at(2027, 3, 28, 0, 59));
    EXPECT_EQ(JulianTime::utcFromLocal(at(2027, 3, 28, 3, 0)), at(2027, 3, 28, 1, 0));
    EXPECT_EQ(JulianTime::utcFromLocal(at(2027, 3, 28, 2, 30)), at(2027, 3, 28, 1, 30));
    EXPECT_EQ(JulianTime::localFromUtc(at(2027, 3, 28, 1, 0)), at(2027, 3, 28, 3, 0));
    EXPECT_FALSE(JulianTime::utcFromLocal(JulianTime::invalid()).isValid());
}

}  // namespace
