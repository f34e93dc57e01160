#include "acquisition/CommFile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/SerialLine.h"
#include "platform/SerialPortPaths.h"

namespace acquisition {

namespace {

// Milliseconds as the line's waits take them: negative = no limit, clamped to int32.
int32_t clampWait(int64_t ms) {
    if (ms < 0) return 0;
    return static_cast<int32_t>(std::min<int64_t>(ms, std::numeric_limits<int32_t>::max()));
}

}  // namespace

CommFile::CommFile() = default;

CommFile::~CommFile() {
    closeLine();
}

void CommFile::closeLine() {
    line_.reset();
    open_ = 0;
    bufferHead_ = bufferTail_ = 0;
}

int32_t CommFile::init(MessagePump owner, int32_t port, int32_t baud, int32_t readTimeout,
                       int32_t writeTimeout) {
    closeLine();
    writeTimeoutCopy_ = writeTimeout;
    owner_ = std::move(owner);

    const std::string path = platform::devicePathForPort(port);
    portInUse_ = false;
    if (!path.empty()) line_ = platform::openSerialLine(path, &portInUse_);
    if (!line_) {
        lastMessage_ = "CommFile::init - CreateFile failed";
        return 1;
    }
    switch (line_->configure(baud)) {
        case platform::SerialConfig::Ok:
            break;
        case platform::SerialConfig::ReadSettingsFailed:
            lastMessage_ = "CommFile::init - GetCommState failed";
            closeLine();
            return 1;
        case platform::SerialConfig::WriteSettingsFailed:
            lastMessage_ = "CommFile::init - SetCommState failed";
            closeLine();
            return 1;
    }
    const auto t = static_cast<uint32_t>(readTimeout);
    const auto u = static_cast<uint32_t>(writeTimeout);
    if (setTimeouts(t, t, t, u, u) == 0) {
        lastMessage_ = "CommFile::init - setTimeouts failed";
        closeLine();
        return 1;
    }
    open_ = 1;
    return 0;
}

int32_t CommFile::setTimeouts(uint32_t readInterval, uint32_t readMultiplier, uint32_t readConstant,
                              uint32_t writeMultiplier, uint32_t writeConstant) {
    // The time-outs belong to the device: without one there is nothing to set them on.
    if (!line_) {
        lastMessage_ = "CommFile::setTimeouts - GetCommTimeouts failed";
        return 0;
    }
    timeouts_ =
        Timeouts{readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant};
    return 1;
}

int32_t CommFile::writeTimeoutMs() const {
    const uint64_t total = uint64_t{timeouts_.writeMultiplier} + uint64_t{timeouts_.writeConstant};
    if (total == 0) return -1;
    return clampWait(static_cast<int64_t>(std::min<uint64_t>(total, INT32_MAX)));
}

int32_t CommFile::ComWriteBytes(std::span<const uint8_t> data) {
    stopRequested_.store(0, std::memory_order_relaxed);
    if (!open_) {
        lastMessage_ = "CommFile::ComWriteBytes - port not initialised";
        return -1;
    }
    const int32_t count = static_cast<int32_t>(
        std::min<size_t>(data.size(), static_cast<size_t>(std::numeric_limits<int32_t>::max())));
    const int32_t timeout = writeTimeoutMs();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t written = line_->writeByte(data[static_cast<size_t>(i)], timeout);
        if (written < 0) {
            lastMessage_ = "CommFile::ComWriteBytes - WriteFile failed";
            return -1;
        }
        if (written != 1) return i;  // a write time-out is no failure
        if (stopRequested_.load(std::memory_order_relaxed)) {
            lastMessage_ = "CommFile::ComWriteBytes - stopped by user";
            return -2;
        }
        if (owner_) owner_();
    }
    return count;
}

int32_t CommFile::ComWriteBytes(const void* data, int32_t count) {
    if (count < 0) count = 0;
    return ComWriteBytes(
        std::span<const uint8_t>(static_cast<const uint8_t*>(data), static_cast<size_t>(count)));
}

size_t CommFile::takeBuffered(std::span<uint8_t> out) {
    const size_t n = std::min(out.size(), bufferTail_ - bufferHead_);
    if (n > 0) {
        std::memcpy(out.data(), buffer_.data() + bufferHead_, n);
        bufferHead_ += n;
        if (bufferHead_ == bufferTail_) bufferHead_ = bufferTail_ = 0;
    }
    return n;
}

int32_t CommFile::fill(int32_t timeoutMs) {
    switch (line_->waitReadable(timeoutMs)) {
        case platform::SerialWait::Ready:
            break;
        case platform::SerialWait::Timeout:
        case platform::SerialWait::HungUp:
            // A hung-up line reads as silence; the wait has been slept out, so a caller
            // polling in a loop does not spin.
            return 0;
        case platform::SerialWait::Error:
            return -1;
    }
    bufferHead_ = bufferTail_ = 0;
    const int32_t n = line_->readAvailable(std::span<uint8_t>(buffer_));
    if (n < 0) return -1;
    bufferTail_ = static_cast<size_t>(n);
    return n > 0 ? 1 : 0;
}

int32_t CommFile::readWithTimeouts(std::span<uint8_t> out) {
    size_t got = takeBuffered(out);
    if (got == out.size()) return static_cast<int32_t>(got);

    const Timeouts& t = timeouts_;
    if (t.readInterval == kReturnAtOnce && t.readMultiplier == 0 && t.readConstant == 0) {
        while (got < out.size()) {
            const int32_t r = fill(0);
            if (r < 0) return -1;
            if (r == 0) break;
            got += takeBuffered(out.subspan(got));
        }
        return static_cast<int32_t>(got);
    }

    const Clock::time_point start = Clock::now();
    const uint64_t total = uint64_t{t.readMultiplier} * out.size() + uint64_t{t.readConstant};
    const bool totalLimited = total > 0;
    const Clock::time_point totalEnd =
        start + std::chrono::milliseconds(std::min<uint64_t>(total, uint64_t{1} << 40));
    const bool intervalLimited = t.readInterval > 0;
    Clock::time_point lastArrival = start;

    while (got < out.size()) {
        const Clock::time_point now = Clock::now();
        int64_t wait = -1;
        if (totalLimited) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(totalEnd - now).count();
            if (left <= 0) break;
            wait = left;
        }
        // The interval runs only between bytes of this read, so it starts at the first one.
        if (intervalLimited && got > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                                  lastArrival + std::chrono::milliseconds(t.readInterval) - now)
                                  .count();
            if (left <= 0) break;
            wait = wait < 0 ? left : std::min<int64_t>(wait, left);
        }
        const int32_t r = fill(wait < 0 ? -1 : clampWait(wait));
        if (r < 0) return -1;
        if (r > 0) {
            lastArrival = Clock::now();
            got += takeBuffered(out.subspan(got));
        }
    }
    return static_cast<int32_t>(got);
}

int32_t CommFile::ComGetByte() {
    if (!open_) {
        lastMessage_ = "CommFile::ComGetByte - port not initialised";
        return -1;
    }
    if (bufferHead_ < bufferTail_) return buffer_[bufferHead_++];
    uint8_t byte = 0;
    const int32_t n = readWithTimeouts(std::span<uint8_t>(&byte, 1));
    if (n < 0) {
        lastMessage_ = "CommFile::ComGetByte - ReadFile failed";
        return -1;
    }
    if (n == 0) return -2;
    return byte;
}

int32_t CommFile::ComGetBytes(std::span<uint8_t> buffer, int32_t count) {
    stopRequested_.store(0, std::memory_order_relaxed);
    if (!open_) {
        lastMessage_ = "CommFile::ComGetBytes - port not initialised";
        return -1;
    }
    const size_t want = std::min(buffer.size(), static_cast<size_t>(std::max(count, 0)));
    const int32_t n = readWithTimeouts(buffer.first(want));
    if (n < 0) {
        lastMessage_ = "CommFile::ComGetBytes - ReadFile failed";
        return -1;
    }
    if (static_cast<size_t>(n) < buffer.size()) buffer[static_cast<size_t>(n)] = 0;
    return n;
}

int32_t CommFile::close() {
    closeLine();
    return 0;
}

int32_t CommFile::setCommMask(uint32_t) {
    return line_ ? 1 : 0;
}

int32_t CommFile::setupBuffers(int32_t, int32_t) {
    return open_ ? 1 : 0;
}

void CommFile::purge() {
    bufferHead_ = bufferTail_ = 0;
    if (line_) line_->purge();
}

}  // namespace acquisition
