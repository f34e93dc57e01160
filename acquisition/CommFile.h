#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace platform {
class SerialLine;
}

namespace acquisition {

// The one serial-port class: the module link, the port search, the serial test and the GPS
// each own one. It never shows anything; every failure leaves its text in lastMessage().
//
// Ports are known by number (see platform/SerialPortPaths.h for the device behind each).
// Time-outs follow the classic five-value scheme, all in milliseconds:
//   read interval   - longest gap between two bytes of one read, 0 = not used;
//   read multiplier - added to the read total per requested byte;
//   read constant   - added to the read total; a read returns with what it has once
//                     multiplier x count + constant have passed (both 0 = no total limit);
//   write multiplier, write constant - the same for each byte written.
// kReturnAtOnce as interval with zero multiplier and constant means: return at once with
// whatever has arrived, possibly nothing. All five 0 means reads wait until they are full.
class CommFile {
  public:
    // Runs between the bytes of a write so that a window stays responsive during a slow
    // write (its buttons may call requestStop). Empty = nothing to dispatch.
    using MessagePump = std::function<void()>;

    static constexpr uint32_t kReturnAtOnce = 0xFFFFFFFFu;

    CommFile();
    virtual ~CommFile();
    CommFile(const CommFile&) = delete;
    CommFile& operator=(const CommFile&) = delete;

    // Opens port `port` at `baud`, 8-N-1, no flow control, DTR and RTS inactive, with read
    // time-outs (t, t, t) and write time-outs (u, u). 0 = open; 1 = failed, port closed.
    int32_t init(MessagePump owner, int32_t port, int32_t baud, int32_t readTimeout,
                 int32_t writeTimeout);
    int32_t init(int32_t port, int32_t baud, int32_t readTimeout, int32_t writeTimeout) {
        return init(MessagePump{}, port, baud, readTimeout, writeTimeout);
    }

    // 1 = set; 0 = failed (no port behind the object).
    int32_t setTimeouts(uint32_t readInterval, uint32_t readMultiplier, uint32_t readConstant,
                        uint32_t writeMultiplier, uint32_t writeConstant);

    // Bytes written (0..count, fewer on a write time-out); -1 not open or write error;
    // -2 stopped by requestStop (after the byte in flight).
    int32_t ComWriteBytes(std::span<const uint8_t> data);
    int32_t ComWriteBytes(const void* data, int32_t count);

    // The byte 0..255; -1 not open or read error; -2 nothing within the time-out.
    int32_t ComGetByte();

    // Reads up to `count` bytes into `buffer` and puts a 0 byte right after them when the
    // buffer has room for it. Count read (0..count); -1 not open or read error.
    int32_t ComGetBytes(std::span<uint8_t> buffer, int32_t count);

    // Always 0; closes the port if open.
    int32_t close();

    int32_t isOpen() const { return open_; }

    // May be called from another thread while a write runs.
    void requestStop() { stopRequested_.store(1, std::memory_order_relaxed); }

    // No events exist on this platform: accepted and ignored (1).
    int32_t setCommMask(uint32_t mask);
    // Queue sizes are the driver's own here: 1 when open, 0 when not.
    int32_t setupBuffers(int32_t inputSize, int32_t outputSize);

    // Throws away what has arrived and not been read, and what has not yet gone out.
    void purge();

    const std::string& lastMessage() const { return lastMessage_; }
    // The last init failed because another program holds the port.
    bool portInUse() const { return portInUse_; }

    struct Timeouts {
        uint32_t readInterval = 0;
        uint32_t readMultiplier = 0;
        uint32_t readConstant = 0;
        uint32_t writeMultiplier = 0;
        uint32_t writeConstant = 0;
    };
    const Timeouts& timeouts() const { return timeouts_; }

  private:
    using Clock = std::chrono::steady_clock;

    // Reads up to out.size() bytes under the current time-outs; count, or -1 on a failure.
    int32_t readWithTimeouts(std::span<uint8_t> out);
    // Moves buffered bytes into out; how many.
    size_t takeBuffered(std::span<uint8_t> out);
    // Waits at most `timeoutMs` (negative: no limit) and buffers what arrived: 1 bytes
    // buffered, 0 nothing (time-out or hang-up), -1 failure.
    int32_t fill(int32_t timeoutMs);
    int32_t writeTimeoutMs() const;
    void closeLine();

    std::unique_ptr<platform::SerialLine> line_;
    std::string lastMessage_;
    bool portInUse_ = false;
    int32_t writeTimeoutCopy_ = 0;
    int32_t open_ = 0;
    std::atomic<int32_t> stopRequested_{0};
    MessagePump owner_;
    Timeouts timeouts_;

    // Bytes that arrived ahead of the reader: one system read serves many ComGetByte calls.
    std::array<uint8_t, 4096> buffer_{};
    size_t bufferHead_ = 0;
    size_t bufferTail_ = 0;
};

}  // namespace acquisition
