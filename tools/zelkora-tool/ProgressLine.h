#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace tool {

// "calls: 120/10000 files" on standard error, rewritten in place, while a long run works
// through its files; only when standard error is a terminal, so that logs and pipes stay
// clean. The line is wiped when the work ends.
class ProgressLine {
  public:
    ProgressLine(std::string label, int64_t total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // One more file done.
    void step();
    // Wipes the line; also done on destruction.
    void finish();

  private:
    void draw();

    std::string label_;
    int64_t total_;
    int64_t done_ = 0;
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace tool
