#include "tools/zelkora-tool/ProgressLine.h"

#include <unistd.h>

#include <cstdio>

namespace tool {

ProgressLine::ProgressLine(std::string command, size_t total)
    : command_(std::move(command)), total_(total), enabled_(::isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::show(size_t index, const std::string& name) {
    if (!enabled_) return;
    std::string line =
        command_ + " " + std::to_string(index + 1) + "/" + std::to_string(total_) + " " + name;
    if (line.size() > 78) line = line.substr(0, 75) + "...";
    const size_t width = line.size();
    if (width < shown_) line.append(shown_ - width, ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    shown_ = width;
}

void ProgressLine::clear() {
    if (!enabled_ || shown_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(shown_, ' ').c_str());
    std::fflush(stderr);
    shown_ = 0;
}

}  // namespace tool
