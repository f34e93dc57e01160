#include "acquisition/PortSearch.h"

#include <chrono>

#include <array>

#include "app/AppSettings.h"
#include "platform/UiThread.h"

namespace acquisition {

namespace {
constexpr int32_t kModuleBaud = 115200;
constexpr uint8_t kVersionQuery = 'v';
constexpr size_t kVersionReplySize = 7;
}  // namespace

PortSearch::PortSearch(CommFile& modulePort)
    : port_(modulePort), self_(std::make_shared<PortSearch*>(this)) {}

PortSearch::~PortSearch() {
    self_.reset();
    if (running()) stop();
}

void PortSearch::join() {
    if (worker_.joinable()) worker_.join();
}

void PortSearch::start(std::vector<int32_t> ports, int32_t singlePort, StatusNotice status,
                       FinishedNotice finished) {
    if (running()) stop();
    stopFlag_.store(0);
    const uint64_t generation = ++generation_;
    std::weak_ptr<PortSearch*> weak = self_;

    worker_ = std::thread([this, weak, generation, ports = std::move(ports), singlePort,
                           status = std::move(status), finished = std::move(finished)]() {
        const StatusNotice post = [this, weak, status](int32_t code, int32_t port) {
            platform::postToUiThread([weak, status, code, port] {
                if (!weak.expired() && status) status(code, port);
            });
            std::unique_lock<std::mutex> lock(holdMutex_);
            holdWake_.wait_for(lock, std::chrono::milliseconds(holdMs_),
                               [this] { return stopFlag_.load() != 0; });
        };
        const int32_t result = search(port_, ports, singlePort, stopFlag_, post);
        platform::postToUiThread([weak, generation, finished, result] {
            const std::shared_ptr<PortSearch*> alive = weak.lock();
            if (!alive) return;
            PortSearch& self = **alive;
            if (self.generation_ == generation) self.join();
            if (finished) finished(result);
        });
    });
}

void PortSearch::stop() {
    {
        const std::lock_guard<std::mutex> lock(holdMutex_);
        stopFlag_.store(1);
    }
    holdWake_.notify_all();
    join();
    port_.requestStop();
}

int32_t PortSearch::search(CommFile& port, const std::vector<int32_t>& ports, int32_t singlePort,
                           const std::atomic<int32_t>& stopFlag, const StatusNotice& status) {
    const auto report = [&](int32_t code, int32_t p) {
        if (status) status(code, p);
    };
    const bool single = singlePort != kWholeList;
    const size_t entries = single ? 1 : ports.size();
    int32_t result = 0;
    int32_t tried = 0;
    int32_t current = 0;

    const auto stopped = [&]() {
        port.close();
        report(kStopped, current);
        return kStopped;
    };

    for (size_t i = 0; i < entries; ++i) {
        current = single ? singlePort : ports[i];
        if (stopFlag.load()) return stopped();
        if (current <= 0) continue;
        ++tried;
        report(kTrying, current);

        int32_t failure = 0;
        const int32_t opened = port.init(current, kModuleBaud, 1, 0);
        if (stopFlag.load()) return stopped();
        if (opened != 0) {
            // A port another program holds exists; calling it "not found" sends the user
            // looking for a cable instead of for the other program.
            failure = port.portInUse() ? kPortInUse : kPortNotFound;
        } else if (port.setTimeouts(0, 0, 10, 1, 1) == 0) {
            failure = kTimeoutsFailed;
        } else {
            if (stopFlag.load()) return stopped();
            if (port.ComWriteBytes(&kVersionQuery, 1) != 1) {
                failure = kWriteFailed;
            } else {
                if (stopFlag.load()) return stopped();
                std::array<uint8_t, kVersionReplySize + 1> reply{};
                const int32_t got =
                    port.ComGetBytes(reply, static_cast<int32_t>(kVersionReplySize));
                if (got == static_cast<int32_t>(kVersionReplySize) && reply[0] == 'V') {
                    report(kSuccess, current);
                    return current;
                }
                failure = kNoModule;
            }
        }
        report(failure, current);
        port.close();
        result = failure;
        if (stopFlag.load()) return stopped();
    }
    // Every port of a search over the list failed: say so once at the end. (A single port
    // keeps its own failure as the last word.)
    if (tried > 1) {
        report(kNoDetlinkFound, current);
        result = kNoDetlinkFound;
    }
    return result;
}

std::string PortSearch::statusText(int32_t code, int32_t port) {
    const std::string n = std::to_string(port);
    switch (code) {
        case kNoDetlinkFound:
            return "No DETLINK found";
        case kTrying:
            return "Trying port " + n;
        case kSuccess:
            return "Success port " + n;
        case kPortNotFound:
            return "Com port " + n + " not found";
        case kTimeoutsFailed:
            return "Cannot set port " + n + " timeouts";
        case kWriteFailed:
            return "Write to port " + n + " failed";
        case kNoModule:
            return "DETLINK not found on port " + n;
        case kPortInUse:
            return "Port " + n + " is in use";
        case kStopped:
            return "Search stopped by user";
        default:
            return {};
    }
}

int32_t PortSearch::initialPort(const AppSettings& settings) {
    const int32_t port =
        settings.SerialPort > 0 ? settings.SerialPort : settings.SerialPortLastSuccessful;
    return port < 1 ? 1 : port;
}

std::string PortSearch::lastFoundText(const AppSettings& settings) {
    if (settings.SerialPortLastSuccessful <= 0) return "DETLINK not found previously";
    return "DETLINK last found on Port " + std::to_string(settings.SerialPortLastSuccessful);
}

std::string PortSearch::selectedText(int32_t port) {
    return "Port " + std::to_string(port) + " selected";
}

}  // namespace acquisition
