// zelkora-tool export FILE: the dots of a sequence file as CSV.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/JsonText.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool export [-j N] FILE|DIR...";

// One file's dots as rows, after `prefix` (the file column, or nothing).
void appendRows(const DotStore& d, const std::string& prefix, std::string& out) {
    char row[64];
    for (int32_t i = 0; i < d.count; ++i) {
        const auto k = static_cast<size_t>(i);
        const int n = std::snprintf(row, sizeof row, "%d,%d,%d,%u\n", i, d.times[k], d.frequency[k],
                                    static_cast<unsigned>(d.status[k]));
        out += prefix;
        out.append(row, static_cast<size_t>(n));
    }
}

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--jobs"}, {});
    if (!parsed.parse(args)) return tool::usageError("export", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Writes the dots of a sequence file to standard output as CSV with the header\n"
            "index,time_us,frequency_mhz,status: one row per dot from dot 0, the time from the\n"
            "start in microseconds, the frequency in millihertz (0 where none is defined) and\n"
            "the status byte. Given a folder (its sequence files in browsing order) or several\n"
            "files, each row starts with a column `file`, the file as named.\n"
            "-j N, --jobs N: files read at once (default: the number of cores); the output is\n"
            "the same whatever N.\n"
            "Exit status 2 if any file could not be opened or is corrupt.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().empty()) return tool::usageError("export", "no file given", kUsage);
    const std::optional<int> jobs = tool::jobsOption(parsed);
    if (!jobs) return tool::usageError("export", parsed.error(), kUsage);
    bool failed = false;
    const std::vector<std::string> paths = tool::sequencePaths(parsed.positional(), failed);
    std::error_code ec;
    const bool oneFile = parsed.positional().size() == 1 &&
                         !std::filesystem::is_directory(parsed.positional().front(), ec);
    if (oneFile) {
        // One file alone keeps the columns it always had.
        tool::LoadedSequence loaded;
        if (int status = tool::loadSequenceFile(paths.front(), loaded); status != tool::kExitOk) {
            return status;
        }
        std::string out = "index,time_us,frequency_mhz,status\n";
        appendRows(*loaded.dots, "", out);
        std::fwrite(out.data(), 1, out.size(), stdout);
        return tool::kExitOk;
    }
    return tool::printSequenceTexts(
        paths, *jobs,
        [](const std::string& path, const tool::LoadedSequence& file, std::string& out) {
            appendRows(*file.dots, tool::csvField(path) + ",", out);
        },
        "file,index,time_us,frequency_mhz,status\n", "", nullptr, failed);
}

const tool::CommandRegistration registration{
    {"export", "write the dots of a sequence file as CSV", &run}};

}  // namespace
