#include "tools/zelkora-tool/ProgressLine.h"

#include <unistd.h>

#include <cstdio>

namespace tool {

namespace {
// Often enough to look alive, rarely enough to cost nothing on a fast run.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
}  // namespace

ProgressLine::ProgressLine(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), shown_(::isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() {
    finish();
}

void ProgressLine::step() {
    ++done_;
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < kRedrawEvery && done_ < total_) return;
    lastDraw_ = now;
    draw();
}

void ProgressLine::draw() {
    std::fprintf(stderr, "\r%s: %lld/%lld files", label_.c_str(), static_cast<long long>(done_),
                 static_cast<long long>(total_));
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace tool
