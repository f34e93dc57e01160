#include "sequence/SequenceNaming.h"

#include <algorithm>
#include <string_view>

namespace seqnaming {

namespace {

// One code per year from 1990; the order of the characters is the order of the years.
constexpr std::string_view kYearCodes = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`{}~";
static_assert(kYearCodes.size() == kLastCodedYear - kFirstCodedYear + 1);
constexpr char kEarlyYearCode = '+';

}  // namespace

char yearCode(int32_t year) {
    if (year < kFirstCodedYear) return kEarlyYearCode;
    if (year > kLastCodedYear) return kYearCodes.back();
    return kYearCodes[static_cast<size_t>(year - kFirstCodedYear)];
}

char monthCode(int32_t month) {
    month = std::clamp(month, 1, 12);
    return month <= 9 ? static_cast<char>('0' + month) : static_cast<char>('A' + month - 10);
}

std::string sequenceFileName(JulianTime start) {
    int32_t year = 1970, month = 1, day = 1;
    int32_t hour = 0, minute = 0, second = 0, micro = 0;
    if (start.isValid() && start.dateFields(year, month, day)) {
        start.timeFields(hour, minute, second, micro);
    } else {
        year = 1970;
        month = 1;
        day = 1;
    }
    auto twoDigits = [](std::string& out, int32_t v) {
        v = std::clamp(v, 0, 99);
        out += static_cast<char>('0' + v / 10);
        out += static_cast<char>('0' + v % 10);
    };
    std::string name;
    name += yearCode(year);
    name += monthCode(month);
    twoDigits(name, day);
    twoDigits(name, hour);
    twoDigits(name, minute);
    name += '.';
    twoDigits(name, second);
    name += '#';
    return name;
}

}  // namespace seqnaming
