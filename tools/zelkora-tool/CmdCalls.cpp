// zelkora-tool calls FILE|DIR...: one row per call of every sequence file, as CSV or JSON.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "display/CallMeasurements.h"
#include "sequence/JulianTime.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/JsonText.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/ProgressLine.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage =
    "zelkora-tool calls [--filter LEVEL] [--echoes] [--json] [-j N] FILE|DIR...";

// The recorder's local clock at `offsetUs` into the file, to the microsecond; empty for a
// file type that holds no start time.
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

// What every row of one file shares: its name as a field, and its date, worked out once.
class FileRows {
  public:
    FileRows(const std::string& path, const SequenceFileHeader& header, bool json)
        : header_(header), json_(json) {
        file_ = json ? tool::jsonString(path) : tool::csvField(path);
        const std::string start = startTimeText(header, 0);
        if (start.empty()) return;
        // "YYYY-MM-DDT" and the time of day at the file's start.
        const size_t t = start.find('T');
        datePrefix_ = start.substr(0, t + 1);
        const SequenceStartTime& s = header.start;
        const JulianTime at = JulianTime::fromDateTime(s.year, s.month, s.day, s.hour, s.minute,
                                                       s.second, s.microsecond());
        int32_t hour = 0, minute = 0, second = 0, micro = 0;
        at.timeFields(hour, minute, second, micro);
        startOfDayUs_ = hour * JulianTime::kHour + minute * JulianTime::kMinute +
                        second * JulianTime::kSecond + micro;
        dated_ = true;
    }

    // One call as a CSV row or a JSON object, in the column order of the header.
    void append(std::string& row, size_t index, const CallMeasurements::Call& c,
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

  private:
    void appendStart(std::string& row, int64_t offsetUs) const {
        const int64_t ofDay = startOfDayUs_ + offsetUs;
        if (!dated_ || ofDay < 0 || ofDay >= JulianTime::kDay) {
            // Past midnight, before the file, or no date: worked out in full.
            const std::string text = startTimeText(header_, offsetUs);
            row += !json_ ? text : text.empty() ? std::string("null") : tool::jsonString(text);
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

    const SequenceFileHeader& header_;
    bool json_;
    std::string file_;
    std::string datePrefix_;
    int64_t startOfDayUs_ = 0;
    bool dated_ = false;
};

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--filter", "--jobs"}, {"--json", "--echoes"});
    if (!parsed.parse(args)) return tool::usageError("calls", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Prints one row per call of every sequence file given; a folder stands for its\n"
            "sequence files in browsing order. A call is what a person marks as one call: the\n"
            "dots the view shows at the filter level LEVEL (0-5, default: the Z setting)\n"
            "within the frequency range of the settings, joined across drop-outs under 1 ms;\n"
            "runs under 6 dots or 0.8 ms are left out, and so are echoes (fragments starting\n"
            "within 40 ms after a call, inside its frequency range and under half as long).\n"
            "--echoes keeps the echoes, numbered as their call, in a last column `echo` (1).\n"
            "CSV columns (with --json, one JSON object per line, same keys):\n"
            "  file, call          the file as named, the call's number in it from 1\n"
            "  start_time          recorder's local clock at the call's start (empty: none)\n"
            "  offset_ms           call start from the file's start\n"
            "  duration_ms, dots   first to last dot, and how many dots\n"
            "  fmax_khz, fmin_khz, fmean_khz   highest, lowest and mean dot frequency\n"
            "  fchar_khz           frequency at the end of the flattest part of the final 40 %%\n"
            "  fknee_khz           where the steep start bends into that flattest part\n"
            "  slope_oct_per_s     slope of that flattest part (negative: falling)\n"
            "  tbc_ms              time since the previous call's start (empty for the first\n"
            "                      call and for echoes)\n"
            "-j N, --jobs N: files measured at once (default: the number of cores); the\n"
            "output is the same whatever N.\n"
            "Exit status 2 if any file could not be opened or is corrupt.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().empty()) return tool::usageError("calls", "no file given", kUsage);
    tool::ShownDots shown;
    std::string error;
    const std::optional<std::string> level = parsed.value("--filter");
    if (!tool::shownDotsFromSettings(level ? &*level : nullptr, shown, error)) {
        return tool::usageError("calls", error, kUsage);
    }
    const bool json = parsed.has("--json");
    const bool echoes = parsed.has("--echoes");
    const std::optional<int> jobs = tool::jobsOption(parsed);
    if (!jobs) return tool::usageError("calls", parsed.error(), kUsage);

    bool failed = false;
    const std::vector<std::string> paths = tool::sequencePaths(parsed.positional(), failed);
    const std::string header =
        json ? ""
             : std::string(
                   "file,call,start_time,offset_ms,duration_ms,dots,fmax_khz,fmin_khz,"
                   "fmean_khz,fchar_khz,fknee_khz,slope_oct_per_s,tbc_ms") +
                   (echoes ? ",echo\n" : "\n");
    auto format = [&](const std::string& path, const tool::LoadedSequence& file, std::string& out) {
        const DotStore& d = *file.dots;
        const auto calls = CallMeasurements::Find(d.times, d.frequency, d.count, shown.level,
                                                  shown.fminMhz, shown.fmaxMhz, echoes);
        const FileRows rows(path, file.header, json);
        // An echo carries the number of the call it follows.
        size_t number = 0;
        for (const CallMeasurements::Call& c : calls) {
            if (!c.echo) ++number;
            rows.append(out, number, c, echoes);
        }
    };
    tool::ProgressLine progress("calls", static_cast<int64_t>(paths.size()));
    return tool::printSequenceTexts(paths, *jobs, format, header, "", &progress, failed);
}

const tool::CommandRegistration registration{
    {"calls", "measure the calls of sequence files, one CSV row per call", &run}};

}  // namespace
