#include "acquisition/DotQueue.h"

namespace acquisition {

std::mutex& dotQueueLock() {
    static std::mutex lock;
    return lock;
}

DotQueue::DotQueue() : ring_(2 * kTrimAbove) {}

void DotQueue::grow() {
    std::vector<DotPoint> bigger(ring_.size() * 2);
    const size_t mask = ring_.size() - 1;
    const size_t oldest = (head_ - size_) & mask;
    for (size_t i = 0; i < size_; ++i) bigger[i] = ring_[(oldest + i) & mask];
    ring_ = std::move(bigger);
    head_ = size_;
}

void DotQueue::push(const DotPoint& point) {
    std::lock_guard lock(dotQueueLock());
    if (size_ == ring_.size()) grow();
    ring_[head_] = point;
    head_ = (head_ + 1) & (ring_.size() - 1);
    ++size_;
}

bool DotQueue::takeOldest(DotPoint& point) {
    std::lock_guard lock(dotQueueLock());
    if (size_ == 0) return false;
    point = ring_[(head_ - size_) & (ring_.size() - 1)];
    --size_;
    return true;
}

int32_t DotQueue::count() const {
    std::lock_guard lock(dotQueueLock());
    return static_cast<int32_t>(size_);
}

void DotQueue::clear() {
    std::lock_guard lock(dotQueueLock());
    size_ = 0;
}

bool DotQueue::trimIfOverfull() {
    std::lock_guard lock(dotQueueLock());
    if (size_ <= static_cast<size_t>(kTrimAbove)) return false;
    size_ = kTrimTo;  // the oldest are dropped: only the newest kTrimTo stay reachable
    dotsWasted_ = true;
    return true;
}

void DotQueue::setOverflowSeen() {
    std::lock_guard lock(dotQueueLock());
    overflowSeen_ = true;
}

void DotQueue::setDotsWasted() {
    std::lock_guard lock(dotQueueLock());
    dotsWasted_ = true;
}

void DotQueue::clearFlags() {
    std::lock_guard lock(dotQueueLock());
    overflowSeen_ = false;
    dotsWasted_ = false;
}

DotQueue::TickState DotQueue::beginTick() {
    std::lock_guard lock(dotQueueLock());
    TickState state{static_cast<int32_t>(size_), overflowSeen_, dotsWasted_};
    overflowSeen_ = false;
    dotsWasted_ = false;
    return state;
}

bool DotQueue::overflowSeen() const {
    std::lock_guard lock(dotQueueLock());
    return overflowSeen_;
}

bool DotQueue::dotsWasted() const {
    std::lock_guard lock(dotQueueLock());
    return dotsWasted_;
}

}  // namespace acquisition
