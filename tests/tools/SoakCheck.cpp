// soak-check SIMULATOR_LOG FOLDER: every sequence file under FOLDER (its nightly folders
// included) must decode and be an unbroken stretch of what the module simulator logged as
// sent, the files in the order of their start times. Prints one line per broken file and a
// summary "files=N bytes=N intervals=N broken=N"; exits 1 when a file is broken.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "SimulatorLog.h"

namespace fs = std::filesystem;
using namespace testing_support;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: soak-check SIMULATOR_LOG FOLDER\n");
        return 64;
    }
    const auto log = readLog(argv[1]);
    std::vector<SavedFile> files;
    uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(argv[2])) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.empty() || name.back() != '#') continue;
        files.push_back(readSaved(entry.path().parent_path(), name));
        files.back().name = entry.path().string();
        bytes += entry.file_size();
    }
    std::sort(files.begin(), files.end(), [](const SavedFile& a, const SavedFile& b) {
        return a.start.value() < b.start.value();
    });
    size_t from = 0;
    uint64_t intervals = 0;
    int broken = 0;
    for (const SavedFile& f : files) {
        // Files follow the stream, so each is looked for after the one before; a file not
        // found there is looked for from the start, to tell a repeat from a corruption.
        int64_t at = findRun(log, f.intervals, from);
        if (at < 0) at = findRun(log, f.intervals);
        if (at < 0) {
            std::printf("broken %s (%zu intervals)\n", f.name.c_str(), f.intervals.size());
            ++broken;
            continue;
        }
        from = static_cast<size_t>(at) + f.intervals.size();
        intervals += f.intervals.size();
    }
    std::printf("files=%zu bytes=%llu intervals=%llu broken=%d\n", files.size(),
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(intervals),
                broken);
    return broken == 0 && !files.empty() ? 0 : 1;
}
