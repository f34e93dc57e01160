#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace tool {

// A progress line on standard error, rewritten in place, while a long run works through its
// files ("calls: 120/10000 files", or "import 3/120 NAME" when the file is named); only when
// standard error is a terminal, so that logs and pipes stay clean. The line is wiped when the
// work ends, and before a message is printed.
class ProgressLine {
  public:
    ProgressLine(std::string label, int64_t total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // One more file done.
    void step();
    // Starting on item `index` (from 0), shown with its name.
    void show(int64_t index, const std::string& name);
    // Wipes the line, so that a message printed next starts on a clean line; also done on
    // destruction.
    void clear();
    void finish() { clear(); }

  private:
    void draw(std::string line);

    std::string label_;
    int64_t total_;
    int64_t done_ = 0;
    bool enabled_;
    size_t shown_ = 0;  // characters on the line now
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace tool
