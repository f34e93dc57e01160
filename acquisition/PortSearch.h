#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/CommFile.h"

struct AppSettings;

namespace acquisition {

// Looks for the DETLINK module on the listed ports (or on one of them) from a worker thread:
// open at 115 200 baud, send 'v', expect 7 bytes beginning 'V' within 10 ms. Works on the
// document's module port, which is left open on the port found and closed otherwise.
// Status and finished notices reach the UI thread through platform::postToUiThread; the
// object itself is used from the UI thread only. The probe's writes run on the worker, so
// the dialog stays responsive without pumping its messages between bytes.
class PortSearch {
  public:
    // Status codes, each with its text (statusText).
    static constexpr int32_t kNoDetlinkFound = 0;
    static constexpr int32_t kTrying = 1;
    static constexpr int32_t kSuccess = 2;
    static constexpr int32_t kPortNotFound = -1;
    static constexpr int32_t kTimeoutsFailed = -2;
    static constexpr int32_t kWriteFailed = -3;
    static constexpr int32_t kNoModule = -5;
    static constexpr int32_t kPortInUse = -6;
    static constexpr int32_t kStopped = -10;

    static constexpr int32_t kWholeList = -1;

    using StatusNotice = std::function<void(int32_t code, int32_t port)>;
    // The port found (> 0), kStopped, or the last failure's code (0 when none was tried or
    // the whole search failed).
    using FinishedNotice = std::function<void(int32_t result)>;

    explicit PortSearch(CommFile& modulePort);
    // Stops a running search first.
    ~PortSearch();
    PortSearch(const PortSearch&) = delete;
    PortSearch& operator=(const PortSearch&) = delete;

    // Starts the worker over `ports` (the port numbers of the list, in list order), or over
    // `singlePort` alone when it is not kWholeList. A search still running is stopped first.
    void start(std::vector<int32_t> ports, int32_t singlePort, StatusNotice status,
               FinishedNotice finished);

    // The worker waits this long after each status before it goes on (a stop ends the wait),
    // so a window shows every status while the search is really at that step.
    void setStatusHold(int32_t ms) { holdMs_ = ms; }

    // Sets the stop flag, waits for the worker, then ends a write in progress on the port.
    // The worker's last notices ("Search stopped by user", finished) still arrive.
    void stop();

    // True from start until the finished notice has been handled or stop returned.
    bool running() const { return worker_.joinable(); }

    // The search itself, run on the calling thread; `status` is called on that thread.
    static int32_t search(CommFile& port, const std::vector<int32_t>& ports, int32_t singlePort,
                          const std::atomic<int32_t>& stopFlag, const StatusNotice& status);

    static std::string statusText(int32_t code, int32_t port);

    // The dialog's starting point: SerialPort if above 0, else SerialPortLastSuccessful, at
    // least 1.
    static int32_t initialPort(const AppSettings& settings);
    // "DETLINK last found on Port %d" or "DETLINK not found previously".
    static std::string lastFoundText(const AppSettings& settings);
    // "Port %d selected".
    static std::string selectedText(int32_t port);

  private:
    void join();

    CommFile& port_;
    std::thread worker_;
    std::atomic<int32_t> stopFlag_{0};
    int32_t holdMs_ = 0;
    std::mutex holdMutex_;
    std::condition_variable holdWake_;
    // Notices of a search that has been replaced, or of a destroyed object, are dropped.
    uint64_t generation_ = 0;
    std::shared_ptr<PortSearch*> self_;
};

}  // namespace acquisition
