#include "tools/zelkora-tool/CallRows.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "sequence/JulianTime.h"
#include "tools/zelkora-tool/JsonText.h"

namespace tool {

namespace {

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Numbers formatted without printf: a folder of full files gives millions of rows.
void appendFixed(std::string& row, double value, int decimals) {
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

}  // namespace

std::string startTimeText(const SequenceFileHeader& header, int64_t offsetUs) {
    if (!header.hasStartTime) return {};
    const SequenceStartTime& s = header.start;
    const JulianTime t = JulianTime::fromDateTime(s.year, s.month, s.day, s.hour, s.minute,
                                                  s.second, s.microsecond()) +
                         offsetUs;
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, micro = 0;
    if (!t.isValid() || !t.dateFields(year, month, day)) return {};
    t.timeFields(hour, minute, second, micro);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06d", year, month, day, hour,
                  minute, second, micro);
    return text;
}

std::string callRow(const std::string& file, size_t index, const std::string& start,
                    const CallMeasurements::Call& c, bool json, bool echoColumn) {
    std::string row;
    auto key = [&](const char* name) {
        row += row.empty() ? (json ? "{" : "") : ",";
        if (json) row.append("\"").append(name).append("\":");
    };
    key("file");
    row += json ? tool::jsonString(file) : csvField(file);
    key("call");
    appendInteger(row, static_cast<int64_t>(index));
    key("start_time");
    row += !json ? start : start.empty() ? std::string("null") : tool::jsonString(start);
    key("offset_ms");
    appendFixed(row, c.startUs / 1000.0, 3);
    key("duration_ms");
    appendFixed(row, c.durationUs / 1000.0, 3);
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
        appendFixed(row, c.tbcUs / 1000.0, 3);
    } else if (json) {
        row += "null";
    }
    if (echoColumn) {
        key("echo");
        row += json ? (c.echo ? "true" : "false") : (c.echo ? "1" : "0");
    }
    row += json ? "}\n" : "\n";
    return row;
}

}  // namespace tool
