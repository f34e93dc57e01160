#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The one date-and-time value: a signed count of microseconds since 1970-01-01 00:00 on the
// device's local clock. The same type is an instant and a duration. One reserved value,
// kInvalidValue, stands for every failed construction and overflowing operation.
class JulianTime {
  public:
    static constexpr int64_t kInvalidValue = INT64_MIN + 1;  // high word 0x80000000, low 1
    static constexpr int64_t kMillisecond = 1000;
    static constexpr int64_t kSecond = 1000000;
    static constexpr int64_t kMinute = 60000000;
    static constexpr int64_t kHour = int64_t{3600000000};
    static constexpr int64_t kDay = int64_t{86400000000};

    // Unit codes of the (unit, count) constructor.
    enum Unit : int32_t {
        kUnitZero = 0,
        kUnitMicroseconds = 1,
        kUnitMilliseconds = 2,
        kUnitSeconds = 3,
        kUnitMinutes = 4,
        kUnitHours = 5,
        kUnitDays = 6
    };

    constexpr JulianTime() = default;
    constexpr explicit JulianTime(int64_t microseconds) : value_(microseconds) {}
    constexpr explicit JulianTime(int32_t microseconds) : value_(microseconds) {}
    JulianTime(int32_t unitCode, int32_t count);

    static constexpr JulianTime invalid() { return JulianTime(kInvalidValue); }
    // Rounded half away from zero; invalid when out of the 64-bit range.
    static JulianTime fromReal(double microseconds);
    // Calendar date at 00:00 (Julian calendar before 15 Oct 1582, Gregorian after).
    static JulianTime fromDate(int32_t year, int32_t month, int32_t day);
    // Date and time; year, month and day all 0 give a pure duration.
    static JulianTime fromDateTime(int32_t year, int32_t month, int32_t day, int32_t hour,
                                   int32_t minute, int32_t second, int32_t microsecond);
    // The device's local clock, to the millisecond.
    static JulianTime now();
    // The same clock in UTC, to the millisecond: what GPS time is compared with.
    static JulianTime utcNow();
    // The local clock at the UTC instant `utc`, with this machine's zone rules (TZ).
    static JulianTime localFromUtc(JulianTime utc);
    // The UTC instant of the local clock reading `local`: in the hour that comes twice when
    // summer time ends, the later one; in the hour that is skipped, read with the offset
    // before the change.
    static JulianTime utcFromLocal(JulianTime local);

    constexpr int64_t value() const { return value_; }
    constexpr bool isValid() const { return value_ != kInvalidValue; }

    int64_t dayCount() const;
    int64_t startOfDay() const;
    int64_t timeOfDay() const;
    int32_t hour() const;
    int32_t minute() const;
    int32_t second() const;
    int32_t microsecond() const;
    int32_t millisecond() const;
    void timeFields(int32_t& hour, int32_t& minute, int32_t& second, int32_t& microsecond) const;
    // 1 = Sunday ... 7 = Saturday.
    int32_t weekday() const;
    // False (and all three INT32_MIN) before 1 March of year -4716.
    bool dateFields(int32_t& year, int32_t& month, int32_t& day) const;

    JulianTime& operator+=(JulianTime other);
    JulianTime& operator-=(JulianTime other);
    JulianTime& operator+=(int64_t microseconds);
    JulianTime& operator-=(int64_t microseconds);
    friend JulianTime operator+(JulianTime a, JulianTime b) { return a += b; }
    friend JulianTime operator-(JulianTime a, JulianTime b) { return a -= b; }
    friend JulianTime operator+(JulianTime a, int64_t b) { return a += b; }
    friend JulianTime operator-(JulianTime a, int64_t b) { return a -= b; }

    friend constexpr auto operator<=>(JulianTime a, JulianTime b) = default;
    friend constexpr bool operator==(JulianTime a, JulianTime b) = default;
    friend constexpr auto operator<=>(JulianTime a, int64_t b) { return a.value_ <=> b; }
    friend constexpr bool operator==(JulianTime a, int64_t b) { return a.value_ == b; }

    // Pattern formatting: "D MMM YYYY", "hh:mm:ssdddddd", ...
    std::string format(std::string_view pattern) const;

  private:
    int64_t value_ = 0;
};
