#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "acquisition/CommFile.h"
#include "acquisition/SerialTestDecoder.h"
#include "acquisition/SerialTestStats.h"
#include "platform/OutputFile.h"

namespace acquisition {

// The serial test's link to the module: it finds the module on a port, streams from it on a
// worker thread without recording anything, counts what arrives in SerialTestStats and can
// keep every byte received in a capture file. The object is used from the UI thread; the
// worker's end reaches that thread through platform::postToUiThread.
//
// A quiet module costs nothing: the worker waits for bytes in the port's poll, waking only
// every kIdleWaitMs to look at its stop flag.
class SerialTest {
  public:
    static constexpr int32_t kModuleBaud = 115200;
    static constexpr uint32_t kIdleWaitMs = 100;
    static constexpr uint32_t kWriteWaitMs = 100;
    // How long the end of a run waits at most for what the module sent before it stopped.
    static constexpr int32_t kTailLimitMs = 1000;
    static constexpr const char* kCaptureName = "serialtest.txt";

    enum class StartResult { Started, NotOpen, CannotOpenFile };
    using EndNotice = std::function<void()>;

    SerialTest();
    // Stops a run and waits for it.
    ~SerialTest();
    SerialTest(const SerialTest&) = delete;
    SerialTest& operator=(const SerialTest&) = delete;

    // The test's own port; the port search works on it when the module is elsewhere.
    CommFile& port() { return port_; }

    // Opens `port` (any number a port can have) and asks for the module: 'v' answered by
    // 7 bytes beginning 'V'. True with the port left open, false with it closed.
    bool OpenModule(int32_t port);

    // With the module's port open: the statistics start, the capture file `capturePath` is
    // opened unless the path is empty (platform/OutputFile.h: it takes its new content in
    // one step when the run ends), 'G' goes out and the worker starts.
    // `ended` runs on the UI thread once the worker has ended and been joined. A capture
    // file that cannot be made starts nothing and closes the port.
    StartResult Start(const std::string& capturePath, EndNotice ended);

    // The worker ends at its next byte or quiet moment; its end notice follows.
    void RequestStop() { stop_.store(1); }
    // Requests the stop and waits for the worker. The port is closed afterwards.
    void Stop();
    // From Start until the end notice has been handled or Stop returned.
    bool running() const { return worker_.joinable(); }

    // Statistics back to zero (not while running).
    void ResetStats();
    SerialTestStats stats() const;
    SerialTestStats::Texts texts() const;
    // Writing the capture file failed during the last run: it lacks bytes.
    bool captureFailed() const { return captureFailed_.load() != 0; }

  private:
    void work();
    // The next result of the decoder, reading the port when nothing is waiting: kNoByte
    // when no byte came within `waitMs`.
    int32_t nextResult(uint32_t waitMs);
    void drainOverflow();
    void count(int32_t intervalUs);
    bool send(uint8_t command);
    void closeCapture();

    CommFile port_;
    SerialTestDecoder decoder_;
    std::unique_ptr<platform::OutputFile> capture_;
    std::atomic<int32_t> captureFailed_{0};
    std::atomic<int32_t> stop_{0};
    std::thread worker_;
    mutable std::mutex statsMutex_;
    SerialTestStats stats_;
    // Bytes read from the port and not yet decoded, with room for the 0 the port appends.
    std::array<uint8_t, 4097> chunk_{};
    size_t chunkHead_ = 0;
    size_t chunkTail_ = 0;
    // Notices of an earlier run, or of a destroyed object, are dropped.
    uint64_t generation_ = 0;
    std::shared_ptr<SerialTest*> self_;
};

}  // namespace acquisition
