// zelkora-tool calls FILE|DIR...: one row per call of every sequence file, as CSV or JSON.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "display/CallMeasurements.h"
#include "tools/zelkora-tool/CallRows.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/ProgressLine.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage =
    "zelkora-tool calls [--filter LEVEL] [--fmin KHZ] [--fmax KHZ] [--echoes] [--json]\n"
    "       [-j N] FILE|DIR...";

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--filter", "--fmin", "--fmax", "--jobs"}, {"--json", "--echoes"});
    if (!parsed.parse(args)) return tool::usageError("calls", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Prints one row per call of every sequence file given; a folder stands for its\n"
            "sequence files in browsing order. A call is what a person marks as one call: the\n"
            "dots the view shows at the filter level LEVEL (0-5, default: the Z setting)\n"
            "from --fmin to --fmax kHz (default: the settings' Fmin..Fmax; narrow it to the\n"
            "species looked for, and other sounds go), joined across drop-outs under\n"
            "1.2 ms; runs under 6 dots or 0.8 ms are left out, and so are echoes (fragments\n"
            "starting within 40 ms and 3 call lengths after a call and within 10 ms of it or\n"
            "of the echo before, inside its frequency range and under half as long). A steady\n"
            "run of 3 ms or more (middle four fifths of its dots within 25 %%) starting within\n"
            "6 ms of a call or its last echo, in its frequency range, is the rest of the call.\n"
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
    if (!tool::shownDotsFromSettings(parsed, shown, error)) {
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
        const tool::CallRows rows(path, file.header, json);
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
