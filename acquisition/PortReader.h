#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/CommFile.h"
#include "sequence/JulianTime.h"

namespace acquisition {

// Reads the module's line on a thread of its own for as long as a recording streams, and
// queues what came, in order, for the recording worker. The module holds back only about a
// third of a second of a busy line before it overflows and drops data, and the system's
// buffers not much more; a worker that waits seconds for a memory card to take a file (cheap
// cards do, at times) or for a card that has gone must not leave the line unread meanwhile.
//
// While it runs, the reader alone touches the port: command bytes for the module go
// through send(). What the worker needs of the line's timing travels with the queue: the
// device clock at the first byte after a pause, each pause of kIdleWaitMs or more (which
// ends an overflow's drain) where it happened among the bytes, and the user's save requests
// where they were made, so that a file saved late still ends where the user asked.
class PortReader {
  public:
    // How long one wait for input lasts; a wait that ends with nothing is a pause.
    static constexpr uint32_t kIdleWaitMs = 10;
    // While data flows, this long's worth gathers between reads, so that a read takes many
    // bytes at once instead of waking for each one.
    static constexpr int32_t kGatherMs = 4;
    // A read larger than this means data is backing up: read again at once.
    static constexpr int32_t kBacklogBytes = 1024;
    // Data after a pause at least this long begins a burst, which is stamped at the arrival
    // of its first byte.
    static constexpr auto kBurstGap = std::chrono::milliseconds(1);
    // Past this much memory held for the worker (at least 10 minutes of a full line) the line
    // is left unread: the module then overflows and says so, which the recording handles and marks,
    // instead of memory running out.
    static constexpr size_t kMaxQueuedBytes = size_t{16} << 20;

    struct Item {
        enum class Kind {
            Bytes,     // `bytes` came, in order
            Pause,     // nothing came for kIdleWaitMs
            LineLost,  // the device went away (CommFile::lineLost); nothing follows
            Mark,      // a mark was asked for (see the constructor) after the bytes before
        };
        Kind kind = Kind::Pause;
        std::vector<uint8_t> bytes;
        // Bytes that end a pause: the device clock when the first of them arrived; else
        // invalid.
        JulianTime arrival = JulianTime::invalid();
    };

    // Starts reading `port`, which must stay open until stop(). `deviceClock` is read on the
    // reader's thread. Each time another thread sets `markRequest` (when given), the reader
    // clears it and queues a Mark.
    PortReader(CommFile& port, std::function<JulianTime()> deviceClock,
               std::atomic<int32_t>* markRequest = nullptr);
    ~PortReader();
    PortReader(const PortReader&) = delete;
    PortReader& operator=(const PortReader&) = delete;

    // Writes a command byte to the module between two reads (any thread).
    void send(uint8_t command);
    // Takes the oldest item, waiting at most `wait` for one; false when none came.
    bool next(Item& item, std::chrono::milliseconds wait);
    // Ends the reading and waits for the thread; what is queued can still be taken.
    void stop();

  private:
    void run();
    void push(Item item);
    void sendPending();

    CommFile& port_;
    std::function<JulianTime()> deviceClock_;
    std::atomic<int32_t>* markRequest_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Item> items_;
    size_t queuedBytes_ = 0;  // memory the queue holds
    std::vector<uint8_t> commands_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace acquisition
