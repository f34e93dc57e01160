#pragma once
#include <cstddef>
#include <string>

namespace tool {

// "import 3/120 NAME" on standard error, rewritten in place, while work goes through many
// files; silent when standard error is not a terminal, so that scripts and logs get nothing.
class ProgressLine {
  public:
    ProgressLine(std::string command, size_t total);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Starting on item `index` (from 0).
    void show(size_t index, const std::string& name);
    // Clears the line, so that a message printed next starts on a clean line.
    void clear();

  private:
    std::string command_;
    size_t total_;
    bool enabled_;
    size_t shown_ = 0;  // characters on the line now
};

}  // namespace tool
