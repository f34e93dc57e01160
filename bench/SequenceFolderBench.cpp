#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sequence/OrphanRecovery.h"
#include "sequence/SequenceFolder.h"

namespace {

// A folder of `count` one-byte sequence files named by `nameOf(i)`.
class FolderOfFiles {
  public:
    FolderOfFiles(const char* leaf, int count, std::string (*nameOf)(int)) {
        dir_ = std::filesystem::temp_directory_path() / leaf;
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        for (int i = 0; i < count; ++i) std::ofstream(dir_ / nameOf(i)) << "x";
    }
    ~FolderOfFiles() { std::filesystem::remove_all(dir_); }
    std::string path() const { return dir_.string(); }

  private:
    std::filesystem::path dir_;
};

// 10 000 sequence files, as a station left recording for a few nights leaves.
const FolderOfFiles& tenThousandFiles() {
    static FolderOfFiles folder("zelkora-bench-folder", 10000, [](int i) {
        char name[32];
        // Spread over days, hours and minutes in a scrambled creation order.
        int k = (i * 7919) % 10000;
        std::snprintf(name, sizeof name, "P%c%02d%02d%02d.%02d#", '1' + (k / 2000) % 9,
                      1 + (k / 400) % 28, (k / 20) % 24, k % 60, (k * 13) % 60);
        return std::string(name);
    });
    return folder;
}

void BM_ScanTenThousandFiles(benchmark::State& state) {
    const FolderOfFiles& folder = tenThousandFiles();
    SequenceFolder list;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.scan(folder.path()));
    }
    state.counters["files"] = list.size();
}
BENCHMARK(BM_ScanTenThousandFiles)->Unit(benchmark::kMillisecond);

// What a sweep for orphaned temporary files adds to a scan of the same folder.
void BM_SweepTenThousandFiles(benchmark::State& state) {
    const FolderOfFiles& folder = tenThousandFiles();
    for (auto _ : state) {
        benchmark::DoNotOptimize(OrphanRecovery::sweep(folder.path()));
    }
}
BENCHMARK(BM_SweepTenThousandFiles)->Unit(benchmark::kMillisecond);

// The folder check before every save, once its folder has been swept.
void BM_FolderCheckGateAfterTheFirstSweep(benchmark::State& state) {
    const FolderOfFiles& folder = tenThousandFiles();
    OrphanRecovery recovery;
    recovery.onFolderCheck(folder.path());
    for (auto _ : state) recovery.onFolderCheck(folder.path());
}
BENCHMARK(BM_FolderCheckGateAfterTheFirstSweep);

// What the window reads of a card of 10^5 files before it shows: before, the folder check's
// sweep, the scan's own sweep and a scan that looks at every file's size; now one read of
// the names (the sweep and sizes follow once the window is up). Goal: the names-only read
// well under 0.2 s.
const FolderOfFiles& hundredThousandFiles() {
    static FolderOfFiles folder("zelkora-bench-folder-100k", 100000, [](int i) {
        char name[32];
        std::snprintf(name, sizeof name, "P%07d.%02d#", i / 60, i % 60);
        return std::string(name);
    });
    return folder;
}

void BM_WindowStartScanBefore(benchmark::State& state) {
    const FolderOfFiles& folder = hundredThousandFiles();
    SequenceFolder list;
    for (auto _ : state) {
        OrphanRecovery::sweep(folder.path());
        OrphanRecovery::sweep(folder.path());
        benchmark::DoNotOptimize(list.scan(folder.path()));
    }
    state.counters["files"] = list.size();
}
BENCHMARK(BM_WindowStartScanBefore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WindowStartScanNamesOnly(benchmark::State& state) {
    const FolderOfFiles& folder = hundredThousandFiles();
    SequenceFolder list;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.scan(folder.path(), SequenceFolder::Sizes::kLater));
    }
    state.counters["files"] = list.size();
}
BENCHMARK(BM_WindowStartScanNamesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
