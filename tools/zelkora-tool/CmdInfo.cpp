// zelkora-tool info FILE...: what a sequence file's header says and how many dots it holds.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/JsonText.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool info [--json] [-j N] FILE|DIR...";

struct InfoFields {
    std::string file;
    std::string type;
    int32_t ratio = 0;
    int32_t dots = 0;
    int64_t durationUs = 0;
    std::string start;     // empty: none
    std::string position;  // empty: none
};

InfoFields fieldsOf(const std::string& path, const tool::LoadedSequence& s) {
    InfoFields f;
    f.file = path;
    char text[64];
    std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(s.header.type));
    f.type = text;
    f.ratio = s.header.divisionRatio;
    f.dots = s.dots->count;
    f.durationUs = s.dots->times[static_cast<size_t>(s.dots->count - 1)];
    if (s.header.hasStartTime) {
        const SequenceStartTime& t = s.header.start;
        // The reader refuses impossible fields, so these are a real date or all zero.
        std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%06d",
                      static_cast<unsigned>(t.year), static_cast<unsigned>(t.month),
                      static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour),
                      static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second),
                      static_cast<int>(t.microsecond()));
        f.start = text;
    }
    if (!s.header.position.isEmpty()) f.position = s.header.position.text();
    return f;
}

std::string text(const InfoFields& f) {
    char line[160];
    std::snprintf(line, sizeof line, "\nratio: %d\ndots: %d\nduration_us: %lld\nstart: ", f.ratio,
                  f.dots, static_cast<long long>(f.durationUs));
    return "file: " + f.file + "\ntype: " + f.type + line + (f.start.empty() ? "none" : f.start) +
           "\nposition: " + (f.position.empty() ? "none" : f.position) + "\n";
}

std::string json(const InfoFields& f) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, ",\"ratio\":%d,\"dots\":%d,\"duration_us\":%lld",
                  f.ratio, f.dots, static_cast<long long>(f.durationUs));
    return "{\"file\":" + tool::jsonString(f.file) + ",\"type\":" + tool::jsonString(f.type) +
           numbers + ",\"start\":" + (f.start.empty() ? "null" : tool::jsonString(f.start)) +
           ",\"position\":" + (f.position.empty() ? "null" : tool::jsonString(f.position)) + "}\n";
}

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--jobs"}, {"--json"});
    if (!parsed.parse(args)) return tool::usageError("info", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Prints for each sequence file its name, type, division ratio, number of dots,\n"
            "duration in microseconds, start time (none for types before 0x84) and the\n"
            "position block as text (none when the file holds no position), one 'key: value'\n"
            "line each and a blank line between files. With --json, one JSON object per line\n"
            "with the same keys (start and position null when absent). A folder stands for\n"
            "its sequence files in browsing order.\n"
            "-j N, --jobs N: files read at once (default: the number of cores); the output is\n"
            "the same whatever N.\n"
            "Exit status 2 if any file could not be opened or is corrupt.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().empty()) return tool::usageError("info", "no file given", kUsage);
    const bool asJson = parsed.has("--json");
    const std::optional<int> jobs = tool::jobsOption(parsed);
    if (!jobs) return tool::usageError("info", parsed.error(), kUsage);
    bool failed = false;
    const std::vector<std::string> paths = tool::sequencePaths(parsed.positional(), failed);
    return tool::printSequenceTexts(
        paths, *jobs,
        [&](const std::string& path, const tool::LoadedSequence& file, std::string& out) {
            const InfoFields f = fieldsOf(path, file);
            out = asJson ? json(f) : text(f);
        },
        "", asJson ? "" : "\n", nullptr, failed);
}

const tool::CommandRegistration registration{
    {"info", "print the header and size of sequence files", &run}};

}  // namespace
