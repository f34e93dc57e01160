#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "sequence/SequenceFolder.h"
#include "sequence/SequenceFormat.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool check-sent --log FILE DIR...";

// The intervals that went out whole, in the order sent; everything else in the log is
// bookkeeping that a recording never contains.
bool readSent(const std::string& path, std::vector<int32_t>& sent) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 4 || line[0] != 'I' || line[1] != ' ') continue;
        const size_t space = line.rfind(' ');
        if (space <= 2) continue;
        sent.push_back(static_cast<int32_t>(std::stol(line.substr(space + 1))));
    }
    return true;
}

// A file's intervals as the differences of its stored crossing times: the first crossing
// only anchors the file in time.
bool readIntervals(const std::filesystem::path& file, std::vector<int32_t>& intervals) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
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
            "Exit status 0 when every file passes, 1 when one does not or none was found.\n",
            kUsage);
        return tool::kExitOk;
    }
    const std::string log = parsed.value("--log").value_or("");
    if (log.empty() || parsed.positional().empty())
        return tool::usageError("check-sent", "a log and at least one folder are needed", kUsage);

    std::vector<int32_t> sent;
    if (!readSent(log, sent)) {
        std::fprintf(stderr, "Cannot open file %s\n", log.c_str());
        return tool::kExitBadFile;
    }
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
                files == 0  ? "no sequence file found"
                : bad == 0 ? "every file is an unbroken stretch of what was sent"
                           : "some files are not");
    return files > 0 && bad == 0 ? tool::kExitOk : tool::kExitFailure;
}

const tool::CommandRegistration registration{
    {"check-sent", "check recorded files against what the module simulator sent", &run}};

}  // namespace
