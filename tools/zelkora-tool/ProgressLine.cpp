#include "tools/zelkora-tool/ProgressLine.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tool {

namespace {
// Often enough to look alive, rarely enough to cost nothing on a fast run.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr size_t kMaxWidth = 78;
}  // namespace

ProgressLine::ProgressLine(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), enabled_(::isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::step() {
    const std::lock_guard lock(mutex_);
    ++done_;
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ > 0 && now - lastDraw_ < kRedrawEvery && done_ < total_) return;
    lastDraw_ = now;
    draw(label_ + ": " + std::to_string(done_) + "/" + std::to_string(total_) + " files");
}

void ProgressLine::show(int64_t index, const std::string& name) {
    const std::lock_guard lock(mutex_);
    waitedFor_ = index + 1;
    if (!enabled_) return;
    draw(label_ + " " + std::to_string(index + 1) + "/" + std::to_string(total_) + " " + name);
}

void ProgressLine::part(int64_t index, const std::string& name, double fraction) {
    const std::lock_guard lock(mutex_);
    if (!enabled_ || index != waitedFor_) return;
    const auto now = std::chrono::steady_clock::now();
    // The first report of an item is drawn at once, so that the line names what is worked on.
    if (partShown_ == index && now - lastDraw_ < kRedrawEvery) return;
    lastDraw_ = now;
    partShown_ = index;
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
    draw(label_ + " " + std::to_string(index + 1) + "/" + std::to_string(total_) + " " +
         std::to_string(percent) + "% " + name);
}

void ProgressLine::draw(std::string line) {
    if (line.size() > kMaxWidth) line = line.substr(0, kMaxWidth - 3) + "...";
    const size_t width = line.size();
    if (width < shown_) line.append(shown_ - width, ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    shown_ = width;
}

void ProgressLine::clear() {
    const std::lock_guard lock(mutex_);
    clearLocked();
}

void ProgressLine::clearLocked() {
    if (!enabled_ || shown_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(shown_, ' ').c_str());
    std::fflush(stderr);
    shown_ = 0;
}

}  // namespace tool
