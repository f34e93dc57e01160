#include "sequence/JulianTime.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "platform/LocalClock.h"

namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;
// 2 440 587.5 days, the Julian date of 1970-01-01 00:00, in microseconds.
constexpr int64_t kJulianEpochOffset = int64_t{210866760000000000};
// Before 1 March of year -4716 the inverse conversion is not defined.
constexpr int64_t kEarliestDateValue = -int64_t{210987849600000000};

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// The checked sum: formed in double first so that an overflow is seen, then done exactly.
int64_t checkedAdd(int64_t a, int64_t b, bool subtract) {
    double approx = subtract ? static_cast<double>(a) - static_cast<double>(b)
                             : static_cast<double>(a) + static_cast<double>(b);
    if (approx >= kTwoTo63 || approx < -kTwoTo63) return JulianTime::kInvalidValue;
    int64_t result = 0;
    bool overflow =
        subtract ? __builtin_sub_overflow(a, b, &result) : __builtin_add_overflow(a, b, &result);
    // Near the limits double rounding can let an overflowing sum through; never wrap.
    return overflow ? JulianTime::kInvalidValue : result;
}

const std::array<const char*, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};
const std::array<const char*, 12> kMonthShort = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
const std::array<const char*, 7> kDayShort = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

template <typename... Args>
std::string printed(const char* fmt, Args... args) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, fmt, args...);
    return std::string(buf, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

}  // namespace

JulianTime::JulianTime(int32_t unitCode, int32_t count) {
    const int64_t c = count;
    switch (unitCode) {
        case kUnitZero:
            value_ = 0;
            break;
        case kUnitMicroseconds:
            value_ = c;
            break;
        case kUnitMilliseconds:
            value_ = c * kMillisecond;
            break;
        case kUnitSeconds:
            value_ = c * kSecond;
            break;
        case kUnitMinutes:
            value_ = c * kMinute;
            break;
        case kUnitHours:
            value_ = c * kHour;
            break;
        case kUnitDays: {
            int64_t r = 0;
            value_ = __builtin_mul_overflow(c, kDay, &r) ? kInvalidValue : r;
            break;
        }
        default:
            value_ = kInvalidValue;
            break;
    }
}

JulianTime JulianTime::fromReal(double microseconds) {
    if (!(microseconds < kTwoTo63) || microseconds < -kTwoTo63) return invalid();
    double rounded = std::round(microseconds);  // half away from zero
    if (rounded >= kTwoTo63) return invalid();
    return JulianTime(static_cast<int64_t>(rounded));
}

JulianTime JulianTime::fromDate(int32_t year, int32_t month, int32_t day) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < -4715) return invalid();
    const double reading = year + month / 100.0 + day / 10000.0;
    const bool gregorian = reading >= 1582.1015;
    int64_t y = year, m = month;
    if (m <= 2) {
        y -= 1;
        m += 12;
    }
    int64_t b = 0;
    if (gregorian) {
        int64_t a = static_cast<int64_t>(std::trunc(static_cast<double>(y) * 0.01));
        b = 2 - a + static_cast<int64_t>(std::trunc(static_cast<double>(a) * 0.25));
    }
    const double yd = static_cast<double>(y);
    int64_t c = y < 0 ? static_cast<int64_t>(std::trunc(365.25 * yd - 0.75))
                      : static_cast<int64_t>(std::floor(365.25 * yd));
    int64_t e = static_cast<int64_t>(std::trunc(30.6001 * static_cast<double>(m + 1)));
    double jd = static_cast<double>(b + c + e + day) + 1720994.5;
    int64_t n = static_cast<int64_t>(jd - 0.5);
    return JulianTime(n * kDay + int64_t{43200000000} - kJulianEpochOffset);
}

JulianTime JulianTime::fromDateTime(int32_t year, int32_t month, int32_t day, int32_t hour,
                                    int32_t minute, int32_t second, int32_t microsecond) {
    if (month < 0 || day < 0 || month > 12 || day >= 32 || year < -4715) return invalid();
    int64_t date = 0;
    if (year != 0 || month != 0 || day != 0) {
        JulianTime d = fromDate(year, month, day);
        if (!d.isValid()) return d;
        date = d.value();
    }
    return JulianTime(date + hour * kHour + minute * kMinute + second * kSecond +
                      static_cast<int64_t>(microsecond));
}

namespace {

JulianTime toMilliseconds(const platform::LocalClockReading& r) {
    return JulianTime::fromDateTime(r.year, r.month, r.day, r.hour, r.minute, r.second,
                                    (r.microsecond / 1000) * 1000);
}

}  // namespace

JulianTime JulianTime::now() {
    return toMilliseconds(platform::readLocalClock());
}

JulianTime JulianTime::utcNow() {
    return toMilliseconds(platform::readUtcClock());
}

namespace {

int64_t wholeSeconds(JulianTime t) {
    return t.value() / JulianTime::kSecond - (t.value() % JulianTime::kSecond < 0 ? 1 : 0);
}

}  // namespace

JulianTime JulianTime::localFromUtc(JulianTime utc) {
    if (!utc.isValid()) return utc;
    return utc + platform::localUtcOffsetSecondsAt(wholeSeconds(utc)) * kSecond;
}

JulianTime JulianTime::utcFromLocal(JulianTime local) {
    if (!local.isValid()) return local;
    const int64_t seconds = wholeSeconds(local);
    return local + (platform::utcSecondsOfLocal(seconds) - seconds) * kSecond;
}

int64_t JulianTime::dayCount() const {
    return floorDiv(value_, kDay);
}
int64_t JulianTime::startOfDay() const {
    return dayCount() * kDay;
}
int64_t JulianTime::timeOfDay() const {
    return value_ - startOfDay();
}
int32_t JulianTime::hour() const {
    return static_cast<int32_t>(timeOfDay() / kHour);
}
int32_t JulianTime::minute() const {
    return static_cast<int32_t>((timeOfDay() % kHour) / kMinute);
}
int32_t JulianTime::second() const {
    return static_cast<int32_t>((timeOfDay() % kMinute) / kSecond);
}
int32_t JulianTime::microsecond() const {
    return static_cast<int32_t>(timeOfDay() % kSecond);
}
int32_t JulianTime::millisecond() const {
    return microsecond() / 1000;
}

void JulianTime::timeFields(int32_t& h, int32_t& m, int32_t& s, int32_t& us) const {
    h = hour();
    m = minute();
    s = second();
    us = microsecond();
}

int32_t JulianTime::weekday() const {
    int64_t w = (dayCount() + 4) % 7;
    if (w < 0) w += 7;
    return static_cast<int32_t>(w) + 1;
}

bool JulianTime::dateFields(int32_t& year, int32_t& month, int32_t& day) const {
    if (value_ < kEarliestDateValue) {
        year = month = day = INT32_MIN;
        return false;
    }
    const double j =
        static_cast<double>(startOfDay() + kJulianEpochOffset) / static_cast<double>(kDay) + 0.5;
    const double z = std::floor(j);
    const double f = j - z;
    double a = z;
    if (z >= 2299161.0) {
        double alpha = std::trunc((z - 1867216.25) / 36524.25);
        a = z + 1 + alpha - std::trunc(alpha / 4);
    }
    const double bb = a + 1524;
    const double c = std::trunc((bb - 122.1) / 365.25);
    const double dd = std::trunc(365.25 * c);
    const double e = std::trunc((bb - dd) / 30.6001);
    day = static_cast<int32_t>(std::trunc(bb - dd - std::trunc(30.6001 * e) + f));
    month = static_cast<int32_t>(e < 13.5 ? e - 1 : e - 13);
    year = static_cast<int32_t>(month > 2.5 ? c - 4716 : c - 4715);
    return true;
}

JulianTime& JulianTime::operator+=(JulianTime other) {
    return *this += other.value_;
}
JulianTime& JulianTime::operator-=(JulianTime other) {
    return *this -= other.value_;
}
JulianTime& JulianTime::operator+=(int64_t us) {
    value_ = checkedAdd(value_, us, false);
    return *this;
}
JulianTime& JulianTime::operator-=(int64_t us) {
    value_ = checkedAdd(value_, us, true);
    return *this;
}

std::string JulianTime::format(std::string_view pattern) const {
    int32_t year = 0, month = 0, day = 0;
    dateFields(year, month, day);
    int32_t h = 0, m = 0, s = 0, us = 0;
    timeFields(h, m, s, us);

    std::string out;
    char lastField = 0;  // the last field letter, for the seconds context of '.' and 'd'
    size_t i = 0;
    while (i < pattern.size()) {
        const char ch = pattern[i];
        size_t n = 1;
        if (std::string_view("YMDWhmsd").find(ch) != std::string_view::npos) {
            while (i + n < pattern.size() && pattern[i + n] == ch) ++n;
        }
        const int width = n >= 2 ? 2 : 1;
        switch (ch) {
            case 'Y':
                if (n == 1)
                    out += 'Y';
                else if (n <= 3)
                    out += printed("%02d", ((year % 100) + 100) % 100);
                else
                    out += printed("%04d", year);
                break;
            case 'M':
                if (n <= 2)
                    out += printed(n == 1 ? "%d" : "%02d", month);
                else if (month >= 1 && month <= 12)
                    out += (n == 3 ? kMonthShort : kMonthNames)[static_cast<size_t>(month - 1)];
                break;
            case 'D':
                if (n == 1 || n == 3)
                    out += printed("%d", day);
                else if (n == 2)
                    out += printed("%02d", day);
                else
                    out += printed("%08lld", static_cast<long long>(dayCount()));
                break;
            case 'W':
                if (n == 1)
                    out += 'W';
                else if (n == 2)
                    out += "WW";
                else
                    out += (n == 3 ? kDayShort : kDayNames)[static_cast<size_t>(weekday() - 1)];
                break;
            case 'h':
            case 'm':
            case 's': {
                int32_t v = ch == 'h' ? h : ch == 'm' ? m : s;
                out += printed(width == 1 ? "%d" : "%02d", v);
                break;
            }
            case 'd': {
                const int p = static_cast<int>(std::min<size_t>(n, 6));
                std::string frac = printed("%*.*f", p + 2, p, us * 0.000001);
                if (lastField == 's') {
                    out += frac.substr(frac.find('.'));
                } else {
                    out += frac.substr(frac.find('.') + 1);
                }
                break;
            }
            case '.':
                // The fraction brings its own point.
                if (lastField != 's') out += '.';
                break;
            default:
                out += ch;
                break;
        }
        if (ch == '.') {
            // A '.' keeps the seconds context for a following fraction.
        } else if (std::string_view("YMDWhmsd").find(ch) != std::string_view::npos) {
            lastField = ch;
        } else {
            lastField = 0;
        }
        i += n;
    }
    return out;
}
