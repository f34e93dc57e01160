// zelkora-tool calls FILE|DIR...: one row per call of every sequence file, as CSV or JSON.
#include <charconv>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "display/CallMeasurements.h"
#include "sequence/JulianTime.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/JsonText.h"
#include "tools/zelkora-tool/ProgressLine.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage =
    "zelkora-tool calls [--filter LEVEL] [--echoes] [--json] FILE|DIR...";

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

// One call as a CSV row or a JSON object, in the column order of the header.
std::string rowOf(const std::string& file, size_t index, const std::string& start,
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

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--filter"}, {"--json", "--echoes"});
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

    bool failed = false;
    const std::vector<std::string> paths = tool::sequencePaths(parsed.positional(), failed);
    if (!json) {
        std::printf(
            "file,call,start_time,offset_ms,duration_ms,dots,fmax_khz,fmin_khz,fmean_khz,"
            "fchar_khz,fknee_khz,slope_oct_per_s,tbc_ms%s\n",
            echoes ? ",echo" : "");
    }
    tool::ProgressLine progress("calls", static_cast<int64_t>(paths.size()));
    for (const std::string& path : paths) {
        tool::LoadedSequence loaded;
        if (tool::loadSequenceFile(path, loaded) != tool::kExitOk) {
            failed = true;
        } else {
            const DotStore& d = *loaded.dots;
            const auto calls = CallMeasurements::Find(d.times, d.frequency, d.count, shown.level,
                                                      shown.fminMhz, shown.fmaxMhz, echoes);
            // An echo carries the number of the call it follows.
            size_t number = 0;
            for (const CallMeasurements::Call& c : calls) {
                if (!c.echo) ++number;
                const std::string row =
                    rowOf(path, number, startTimeText(loaded.header, c.startUs), c, json, echoes);
                std::fwrite(row.data(), 1, row.size(), stdout);
            }
        }
        progress.step();
    }
    progress.finish();
    if (std::fflush(stdout) != 0) return tool::kExitFailure;
    return failed ? tool::kExitBadFile : tool::kExitOk;
}

const tool::CommandRegistration registration{
    {"calls", "measure the calls of sequence files, one CSV row per call", &run}};

}  // namespace
