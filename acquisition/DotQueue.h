#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

namespace acquisition {

// One display point from the recording worker to the view: while recording, the interval in
// microseconds and the dot's frequency in thousandths of a hertz.
struct DotPoint {
    int32_t value = 0;
    int32_t frequency = 0;
    friend bool operator==(const DotPoint&, const DotPoint&) = default;
};

// The one process-wide lock of the display queue; the serial test guards its statistics
// with it as well. Every hold covers one short step.
std::mutex& dotQueueLock();

// Display points waiting for the view, newest at the head, oldest taken from the tail, with
// the two notices the view shows ("O'Flow", "Waste"). Every member takes the process-wide
// lock for exactly one step. Storage is a ring that only grows (by doubling), so once the
// queue has reached its working size no point costs an allocation.
class DotQueue {
  public:
    // A queue holding more than this at a check is cut back to the newest kTrimTo points.
    static constexpr int32_t kTrimAbove = 4096;
    static constexpr int32_t kTrimTo = 1024;

    DotQueue();

    void push(const DotPoint& point);
    // The oldest point; false when the queue is empty.
    bool takeOldest(DotPoint& point);
    int32_t count() const;
    // Removes everything (the storage is kept).
    void clear();

    // The worker's check: above kTrimAbove points, drops the oldest down to kTrimTo and sets
    // dotsWasted, in one hold of the lock. True when it trimmed.
    bool trimIfOverfull();

    void setOverflowSeen();
    void setDotsWasted();
    void clearFlags();

    // What the view reads at the start of a display tick, in one hold: the count, and the two
    // flags, which are cleared as they are read.
    struct TickState {
        int32_t count = 0;
        bool overflowSeen = false;
        bool dotsWasted = false;
    };
    TickState beginTick();

    bool overflowSeen() const;
    bool dotsWasted() const;

  private:
    void grow();

    std::vector<DotPoint> ring_;  // capacity a power of two
    size_t head_ = 0;             // next slot to write
    size_t size_ = 0;
    bool overflowSeen_ = false;
    bool dotsWasted_ = false;
};

}  // namespace acquisition
