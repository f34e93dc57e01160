#include "acquisition/PortReader.h"

#include <array>
#include <optional>
#include <span>
#include <utility>

namespace acquisition {

PortReader::PortReader(CommFile& port, std::function<JulianTime()> deviceClock,
                       std::atomic<int32_t>* markRequest)
    : port_(port), deviceClock_(std::move(deviceClock)), markRequest_(markRequest) {
    thread_ = std::thread([this] { run(); });
}

PortReader::~PortReader() {
    stop();
}

void PortReader::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (thread_.joinable()) thread_.join();
}

void PortReader::send(uint8_t command) {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
}

void PortReader::sendPending() {
    std::vector<uint8_t> commands;
    {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
    }
    // The result is not looked at: a line that fails shows itself in the reads.
    if (!commands.empty()) port_.ComWriteBytes(commands);
}

bool PortReader::next(Item& item, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, wait, [this] { return !items_.empty(); })) return false;
    item = std::move(items_.front());
    items_.pop_front();
    queuedBytes_ -= sizeof(Item) + item.bytes.capacity();
    return true;
}

void PortReader::push(Item item) {
    {
        std::lock_guard lock(mutex_);
        // A long silence is one pause for the worker, not one every wait.
        if (item.kind == Item::Kind::Pause && !items_.empty() &&
            items_.back().kind == Item::Kind::Pause)
            return;
        queuedBytes_ += sizeof(Item) + item.bytes.capacity();
        items_.push_back(std::move(item));
    }
    arrived_.notify_one();
}

void PortReader::run() {
    using Clock = std::chrono::steady_clock;
    std::array<uint8_t, 4097> buffer{};
    const std::span<uint8_t> chunk(buffer);
    const int32_t chunkSize = static_cast<int32_t>(buffer.size() - 1);
    std::optional<Clock::time_point> lastData;  // none: nothing has come since the start

    for (;;) {
        bool full = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
            full = queuedBytes_ >= kMaxQueuedBytes;
        }
        sendPending();
        if (markRequest_ != nullptr && markRequest_->exchange(0) != 0)
            push(Item{Item::Kind::Mark, {}, JulianTime::invalid()});
        if (full) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWaitMs));
            continue;
        }

        Item item;
        item.kind = Item::Kind::Bytes;
        // Take what has arrived; when nothing has, wait a while for the next byte.
        port_.setTimeouts(CommFile::kReturnAtOnce, 0, 0, 0, 1);
        int32_t n = port_.ComGetBytes(chunk, chunkSize);
        if (n == 0) {
            // Blocks until the first byte arrives and returns with it at once: when it ends a
            // pause, the clock read right now is the burst's stamp.
            port_.setTimeouts(0, 0, kIdleWaitMs, 0, 1);
            n = port_.ComGetBytes(chunk, 1);
            if (n > 0 && (!lastData || Clock::now() - *lastData >= kBurstGap))
                item.arrival = deviceClock_();
        }
        if (n < 0) {
            // A failed port reads as silence, at the pace of the read time-out...
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWaitMs));
            n = 0;
        }
        if (n == 0 && port_.lineLost()) {
            // ...until it is plain that the device has gone, which a quiet line never is.
            push(Item{Item::Kind::LineLost, {}, JulianTime::invalid()});
            break;
        }
        if (n == 0) {
            push(Item{Item::Kind::Pause, {}, JulianTime::invalid()});
            continue;
        }
        // The last of these bytes came no later than now.
        lastData = Clock::now();
        item.bytes.assign(buffer.begin(), buffer.begin() + n);
        push(std::move(item));
        if (n < kBacklogBytes) std::this_thread::sleep_for(std::chrono::milliseconds(kGatherMs));
    }
    sendPending();
}

}  // namespace acquisition
