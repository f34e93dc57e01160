#pragma once
#include <cstdint>
#include <deque>

#include "sequence/JulianTime.h"

class SequenceFile;

namespace tool {

// Feeds the kept crossings of one recording to the recorder's accumulator. The accumulator
// itself cuts a file at 15 seconds and at a full ring; a file's size is watched here, so
// that a sequence of many long codes is written before it outgrows a file rather than
// losing its oldest intervals.
class CrossingFeed {
  public:
    CrossingFeed(SequenceFile& sequence, JulianTime start) : sequence_(sequence), start_(start) {}

    // One kept crossing at `micros` of real time from the start: false when a file failed.
    bool add(double micros);
    // A file was written: the accumulator starts empty.
    void saved();

  private:
    // The intervals a file would take now: the newest, at most 15 seconds of them.
    void track(int32_t interval);

    SequenceFile& sequence_;
    JulianTime start_;
    int64_t last_ = -1;
    bool first_ = true;
    std::deque<int32_t> window_;
    int64_t bytes_ = 0;
    int64_t sum_ = 0;
};

}  // namespace tool
