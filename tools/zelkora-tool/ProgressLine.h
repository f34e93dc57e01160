#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace tool {

// A progress line on standard error, rewritten in place, while a long run works through its
// files ("calls: 120/10000 files", or "import 3/120 NAME" when the file is named); only when
// standard error is a terminal, so that logs and pipes stay clean. The line is wiped when the
// work ends, and before a message is printed. An hour's recording takes minutes, so the item
// the run is waiting for can also show how far its own work has got ("import 1/1 43% NAME").
class ProgressLine {
  public:
    ProgressLine(std::string label, int64_t total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // One more file done.
    void step();
    // Item `index` (from 0) done and handed on, shown with its name; the next one is waited for.
    void show(int64_t index, const std::string& name);
    // How far item `index` has got, from 0 to 1; from any thread. Shown only while it is the
    // item waited for, at most ten times a second.
    void part(int64_t index, const std::string& name, double fraction);
    // Wipes the line, so that a message printed next starts on a clean line; also done on
    // destruction.
    void clear();
    void finish() { clear(); }

  private:
    void draw(std::string line);
    void clearLocked();

    std::string label_;
    int64_t total_;
    int64_t done_ = 0;
    bool enabled_;
    size_t shown_ = 0;  // characters on the line now
    std::chrono::steady_clock::time_point lastDraw_{};
    int64_t waitedFor_ = 0;   // the item whose part is shown
    int64_t partShown_ = -1;  // the item whose part the line shows now
    std::mutex mutex_;        // part() comes from the workers' threads
};

}  // namespace tool
