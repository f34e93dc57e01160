// zelkora-tool info FILE...: what a sequence file's header says and how many dots it holds.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool info [--json] FILE...";

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

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t utf8Length(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    }
    return n;
}

// A JSON string; bytes that are not UTF-8 (file names may hold any) become U+FFFD.
std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            ++i;
        } else if (size_t n = utf8Length(s, i); n > 0) {
            out.append(s, i, n);
            i += n;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    return out + "\"";
}

void printText(const InfoFields& f) {
    std::printf(
        "file: %s\ntype: %s\nratio: %d\ndots: %d\nduration_us: %lld\nstart: %s\n"
        "position: %s\n",
        f.file.c_str(), f.type.c_str(), f.ratio, f.dots, static_cast<long long>(f.durationUs),
        f.start.empty() ? "none" : f.start.c_str(),
        f.position.empty() ? "none" : f.position.c_str());
}

void printJson(const InfoFields& f) {
    std::printf(
        "{\"file\":%s,\"type\":%s,\"ratio\":%d,\"dots\":%d,\"duration_us\":%lld,"
        "\"start\":%s,\"position\":%s}\n",
        jsonString(f.file).c_str(), jsonString(f.type).c_str(), f.ratio, f.dots,
        static_cast<long long>(f.durationUs),
        f.start.empty() ? "null" : jsonString(f.start).c_str(),
        f.position.empty() ? "null" : jsonString(f.position).c_str());
}

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({}, {"--json"});
    if (!parsed.parse(args)) return tool::usageError("info", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Prints for each sequence file its name, type, division ratio, number of dots,\n"
            "duration in microseconds, start time (none for types before 0x84) and the\n"
            "position block as text (none when the file holds no position), one 'key: value'\n"
            "line each and a blank line between files. With --json, one JSON object per line\n"
            "with the same keys (start and position null when absent).\n"
            "Exit status 2 if any file could not be opened or is corrupt.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().empty()) return tool::usageError("info", "no file given", kUsage);
    const bool json = parsed.has("--json");
    int status = tool::kExitOk;
    bool first = true;
    for (const std::string& path : parsed.positional()) {
        tool::LoadedSequence loaded;
        if (tool::loadSequenceFile(path, loaded) != tool::kExitOk) {
            status = tool::kExitBadFile;
            continue;
        }
        const InfoFields f = fieldsOf(path, loaded);
        if (json) {
            printJson(f);
        } else {
            if (!first) std::printf("\n");
            printText(f);
        }
        first = false;
    }
    return status;
}

const tool::CommandRegistration registration{
    {"info", "print the header and size of sequence files", &run}};

}  // namespace
