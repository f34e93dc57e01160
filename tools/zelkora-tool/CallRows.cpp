#include "tools/zelkora-tool/CallRows.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "sequence/JulianTime.h"
#include "tools/zelkora-tool/JsonText.h"

namespace tool {

namespace {

// Numbers are formatted without printf, and mostly without floating-point formatting: a
// folder of full files gives millions of rows, and formatting was most of the work.

// Writes the digits of `value`, at least `width` of them, zero-padded.
void appendDigits(std::string& row, uint64_t value, int width) {
    char text[24];
    char* const end = text + sizeof text;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || end - p < width);
    row.append(p, end);
}

// `scaled` / 10^decimals with that many decimals.
void appendScaled(std::string& row, bool negative, uint64_t scaled, int decimals) {
    uint64_t unit = 1;
    for (int i = 0; i < decimals; ++i) unit *= 10;
    if (negative) row += '-';
    appendDigits(row, scaled / unit, 1);
    row += '.';
    appendDigits(row, scaled % unit, decimals);
}

// Microseconds as milliseconds with three decimals, exactly as the value in milliseconds
// would be printed.
void appendMillis(std::string& row, int64_t us) {
    appendScaled(row, us < 0, us < 0 ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us),
                 3);
}

// `value` with `decimals` (2 or 3) decimals, correctly rounded as std::to_chars does. The
// value is scaled and rounded in integers; only when it lies so close to halfway between two
// results that the scaling's rounding could decide it (or is out of range) does the exact
// floating-point formatter decide.
void appendFixed(std::string& row, double value, int decimals) {
    const double scale = decimals == 2 ? 100.0 : 1000.0;
    const double scaled = std::fabs(value) * scale;
    if (scaled < 1e9) {  // false for NaN
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (std::fabs(fraction - 0.5) > 1e-6) {
            appendScaled(row, std::signbit(value),
                         static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0), decimals);
            return;
        }
    }
    char text[48];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    row.append(text, end.ec == std::errc() ? end.ptr : text);
}

void appendInteger(std::string& row, int64_t value) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value);
    row.append(text, end.ptr);
}

JulianTime fileStart(const SequenceFileHeader& header) {
    const SequenceStartTime& s = header.start;
    return JulianTime::fromDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second,
                                    s.microsecond());
}

// The local clock `offsetUs` after the local time `start`. Across a change of summer time
// the clock jumps while the dots run on, so the way goes through UTC (an hour that comes
// twice is taken for the later one, as map takes it).
JulianTime localAfter(JulianTime start, int64_t offsetUs) {
    if (offsetUs == 0) return start;
    const JulianTime utc = JulianTime::utcFromLocal(start);
    return utc.isValid() ? JulianTime::localFromUtc(utc + offsetUs) : start + offsetUs;
}

}  // namespace

std::string startTimeText(const SequenceFileHeader& header, int64_t offsetUs) {
    if (!header.hasStartTime) return {};
    const JulianTime t = localAfter(fileStart(header), offsetUs);
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, micro = 0;
    if (!t.isValid() || !t.dateFields(year, month, day)) return {};
    t.timeFields(hour, minute, second, micro);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06d", year, month, day, hour,
                  minute, second, micro);
    return text;
}

CallRows::CallRows(const std::string& path, const SequenceFileHeader& header, bool json)
    : header_(&header), json_(json) {
    file_ = json ? jsonString(path) : csvField(path);
    const std::string start = startTimeText(header, 0);
    if (start.empty()) return;
    // "YYYY-MM-DDT" and the time of day at the file's start.
    const size_t t = start.find('T');
    datePrefix_ = start.substr(0, t + 1);
    const JulianTime at = fileStart(header);
    // Rows are worked out from the start's time of day while the zone's offset stays that of
    // the start; the offset never changes twice within kSameZoneUs.
    const JulianTime utc = JulianTime::utcFromLocal(at);
    if (utc.isValid() &&
        JulianTime::localFromUtc(utc + kSameZoneUs) - (utc + kSameZoneUs) != at - utc)
        return;
    int32_t hour = 0, minute = 0, second = 0, micro = 0;
    at.timeFields(hour, minute, second, micro);
    startOfDayUs_ = hour * JulianTime::kHour + minute * JulianTime::kMinute +
                    second * JulianTime::kSecond + micro;
    dated_ = true;
}

CallRows::CallRows(const std::string& file, const std::string& start, bool json)
    : json_(json), start_(start) {
    file_ = json ? jsonString(file) : csvField(file);
}

void CallRows::append(std::string& row, size_t index, const CallMeasurements::Call& c,
                      bool echoColumn) const {
    bool first = true;
    auto key = [&](const char* name) {
        if (first) {
            if (json_) row += '{';
            first = false;
        } else {
            row += ',';
        }
        if (json_) row.append("\"").append(name).append("\":");
    };
    key("file");
    row += file_;
    key("call");
    appendInteger(row, static_cast<int64_t>(index));
    key("start_time");
    appendStart(row, c.startUs);
    key("offset_ms");
    appendMillis(row, c.startUs);
    key("duration_ms");
    appendMillis(row, c.durationUs);
    key("dots");
    appendInteger(row, c.dots);
    for (const auto& [name, khz] : {std::pair{"fmax_khz", c.fmaxKhz},
                                    {"fmin_khz", c.fminKhz},
                                    {"fmean_khz", c.fmeanKhz},
                                    {"fchar_khz", c.fcharKhz},
                                    {"fknee_khz", c.fkneeKhz}}) {
        key(name);
        appendFixed(row, khz, 3);
    }
    key("slope_oct_per_s");
    appendFixed(row, c.slopeOctPerS, 2);
    key("tbc_ms");
    if (c.tbcUs >= 0) {
        appendMillis(row, c.tbcUs);
    } else if (json_) {
        row += "null";
    }
    if (echoColumn) {
        key("echo");
        row += json_ ? (c.echo ? "true" : "false") : (c.echo ? "1" : "0");
    }
    row += json_ ? "}\n" : "\n";
}

void CallRows::appendStart(std::string& row, int64_t offsetUs) const {
    const int64_t ofDay = startOfDayUs_ + offsetUs;
    if (header_ == nullptr || !dated_ || ofDay < 0 || ofDay >= JulianTime::kDay ||
        offsetUs >= kSameZoneUs) {
        // Past midnight, before the file, across a change of the zone's offset, or no date:
        // worked out in full.
        const std::string text = header_ != nullptr ? startTimeText(*header_, offsetUs) : start_;
        row += !json_ ? text : text.empty() ? std::string("null") : jsonString(text);
        return;
    }
    const auto us = static_cast<uint64_t>(ofDay);
    if (json_) row += '"';
    row += datePrefix_;
    appendDigits(row, us / JulianTime::kHour, 2);
    row += ':';
    appendDigits(row, us / JulianTime::kMinute % 60, 2);
    row += ':';
    appendDigits(row, us / JulianTime::kSecond % 60, 2);
    row += '.';
    appendDigits(row, us % JulianTime::kSecond, 6);
    if (json_) row += '"';
}

std::string callRow(const std::string& file, size_t index, const std::string& start,
                    const CallMeasurements::Call& c, bool json, bool echoColumn) {
    std::string row;
    CallRows(file, start, json).append(row, index, c, echoColumn);
    return row;
}

}  // namespace tool
