#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/InputFile.h"
#include "sequence/SequenceFolder.h"
#include "sequence/SequenceFormat.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool check-sent --log FILE DIR...";

// The intervals that went out whole, in the order sent; everything else in the log is
// bookkeeping that a recording never contains. 0, or the exit status after the message.
int readSent(const std::string& path, std::vector<int32_t>& sent) {
    platform::InputStream in;
    if (!in.open(path)) {
        std::fprintf(stderr, "Cannot open file %s\n", path.c_str());
        return tool::kExitBadFile;
    }
    std::string line;
    for (int64_t number = 1; std::getline(in, line); ++number) {
        if (line.size() < 4 || line[0] != 'I' || line[1] != ' ') continue;
        const size_t space = line.rfind(' ');
        if (space <= 2) continue;
        const char* first = line.data() + space + 1;
        const char* last = line.data() + line.size();
        int32_t interval = 0;
        const auto [end, ec] = std::from_chars(first, last, interval);
        if (ec != std::errc() || end != last || first == last) {
            std::fprintf(stderr, "File Corrupt %s: line %lld is not an interval: %s\n",
                         path.c_str(), static_cast<long long>(number), line.c_str());
            return tool::kExitBadFile;
        }
        sent.push_back(interval);
    }
    if (in.bad()) {
        std::fprintf(stderr, "zelkora-tool check-sent: cannot read %s\n", path.c_str());
        return tool::kExitFailure;
    }
    return tool::kExitOk;
}

// A file's intervals as the differences of its stored crossing times: the first crossing
// only anchors the file in time.
bool readIntervals(const std::filesystem::path& file, std::vector<int32_t>& intervals) {
    std::vector<uint8_t> image;
    if (!platform::readRegularFile(file.string(), seqformat::kMaxFileSize, image)) return false;
    DotStore store;
    if (decodeSequenceImage(image, store) == 0) return false;
    intervals.clear();
    for (int32_t i = 1; i < store.count; ++i)
        intervals.push_back(store.times[i] - store.times[i - 1]);
    return true;
}

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--log"}, {});
    if (!parsed.parse(args)) return tool::usageError("check-sent", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Checks a recording against what the module simulator sent (its --log FILE):\n"
            "every sequence file in each DIR must hold an unbroken stretch of the intervals\n"
            "sent, in the order sent. Prints one line per file that does not, then a summary.\n"
            "Exit status 0 when every file passes, 1 when one does not or none was found,\n"
            "2 when the log cannot be opened or holds a line that is not one.\n",
            kUsage);
        return tool::kExitOk;
    }
    const std::string log = parsed.value("--log").value_or("");
    if (log.empty() || parsed.positional().empty())
        return tool::usageError("check-sent", "a log and at least one folder are needed", kUsage);

    std::vector<int32_t> sent;
    if (const int status = readSent(log, sent); status != tool::kExitOk) return status;
    int64_t files = 0, intervals = 0, bad = 0;
    std::vector<int32_t> part;
    for (const std::string& dir : parsed.positional()) {
        SequenceFolder folder;
        if (folder.scan(dir) < 0) {
            std::fprintf(stderr, "Cannot open folder %s\n", dir.c_str());
            return tool::kExitBadFile;
        }
        // Files are cut from the stream in order, so each is looked for from where the
        // previous one began; a file out of that order is looked for from the start.
        auto from = sent.begin();
        for (const std::string& name : folder.names()) {
            ++files;
            if (!readIntervals(std::filesystem::path(dir) / name, part)) {
                std::printf("%s/%s: cannot be read\n", dir.c_str(), name.c_str());
                ++bad;
                continue;
            }
            intervals += static_cast<int64_t>(part.size());
            if (part.empty()) continue;
            const std::boyer_moore_horspool_searcher searcher(part.begin(), part.end());
            auto at = std::search(from, sent.end(), searcher);
            if (at == sent.end()) at = std::search(sent.begin(), sent.end(), searcher);
            if (at == sent.end()) {
                std::printf("%s/%s: %zu intervals are not a stretch of what was sent\n",
                            dir.c_str(), name.c_str(), part.size());
                ++bad;
                continue;
            }
            from = at;
        }
    }
    std::printf("%lld files, %lld intervals, %zu sent: %s\n", static_cast<long long>(files),
                static_cast<long long>(intervals), sent.size(),
                files == 0 ? "no sequence file found"
                : bad == 0 ? "every file is an unbroken stretch of what was sent"
                           : "some files are not");
    return files > 0 && bad == 0 ? tool::kExitOk : tool::kExitFailure;
}

const tool::CommandRegistration registration{
    {"check-sent", "check recorded files against what the module simulator sent", &run}};

}  // namespace
