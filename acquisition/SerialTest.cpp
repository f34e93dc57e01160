#include "acquisition/SerialTest.h"

#include <chrono>

#include "platform/LocalClock.h"
#include "platform/OutputFile.h"
#include "platform/UiThread.h"

namespace acquisition {

namespace {
constexpr uint8_t kVersionQuery = 'v';
constexpr uint8_t kStartStream = 'G';
constexpr uint8_t kStopStream = 'g';
constexpr int32_t kVersionReplyLength = 7;
}  // namespace

SerialTest::SerialTest() : self_(std::make_shared<SerialTest*>(this)) {}

SerialTest::~SerialTest() {
    self_.reset();
    Stop();
}

bool SerialTest::OpenModule(int32_t port) {
    if (running() || port <= 0) return false;
    if (port_.init(port, kModuleBaud, 1, 0) != 0) return false;
    port_.setTimeouts(100, 100, 100, 100, 100);
    // Whatever a module left in the line before is no part of the reply.
    port_.purge();
    std::array<uint8_t, kVersionReplyLength + 1> reply{};
    if (send(kVersionQuery) &&
        port_.ComGetBytes(reply, kVersionReplyLength) == kVersionReplyLength && reply[0] == 'V') {
        return true;
    }
    port_.close();
    return false;
}

SerialTest::StartResult SerialTest::Start(const std::string& capturePath, EndNotice ended) {
    if (running() || !port_.isOpen()) return StartResult::NotOpen;
    captureFailed_.store(0);
    capture_.reset();
    if (!capturePath.empty()) {
        // The capture appears whole when the run ends, as every file the programs write; a
        // device or FIFO named as the capture is written straight.
        capture_ = std::make_unique<platform::OutputFile>();
        if (!capture_->open(capturePath)) {
            capture_.reset();
            port_.close();
            return StartResult::CannotOpenFile;
        }
    }
    decoder_.Reset();
    chunkHead_ = chunkTail_ = 0;
    stop_.store(0);
    send(kStartStream);
    {
        std::lock_guard lock(statsMutex_);
        stats_.Begin(JulianTime::now(), platform::tickMilliseconds());
    }

    const uint64_t generation = ++generation_;
    std::weak_ptr<SerialTest*> weak = self_;
    worker_ = std::thread([this, weak, generation, ended = std::move(ended)]() {
        work();
        platform::postToUiThread([weak, generation, ended] {
            const std::shared_ptr<SerialTest*> alive = weak.lock();
            if (!alive || (*alive)->generation_ != generation) return;
            if ((*alive)->worker_.joinable()) (*alive)->worker_.join();
            if (ended) ended();
        });
    });
    return StartResult::Started;
}

void SerialTest::Stop() {
    RequestStop();
    if (worker_.joinable()) worker_.join();
    port_.close();
}

void SerialTest::ResetStats() {
    std::lock_guard lock(statsMutex_);
    stats_.Reset();
}

SerialTestStats SerialTest::stats() const {
    std::lock_guard lock(statsMutex_);
    return stats_;
}

SerialTestStats::Texts SerialTest::texts() const {
    std::lock_guard lock(statsMutex_);
    return stats_.texts();
}

bool SerialTest::send(uint8_t command) {
    return port_.ComWriteBytes(&command, 1) == 1;
}

void SerialTest::count(int32_t intervalUs) {
    const uint64_t tick = platform::tickMilliseconds();
    std::lock_guard lock(statsMutex_);
    stats_.CountInterval(intervalUs, tick);
}

int32_t SerialTest::nextResult(uint32_t waitMs) {
    if (chunkHead_ == chunkTail_) {
        const auto size = static_cast<int32_t>(chunk_.size() - 1);
        port_.setTimeouts(CommFile::kReturnAtOnce, 0, 0, 0, kWriteWaitMs);
        int32_t n = port_.ComGetBytes(chunk_, size);
        if (n <= 0) {
            // Nothing there: wait in the port's poll for the first byte, or time out.
            port_.setTimeouts(0, 0, waitMs, 0, kWriteWaitMs);
            n = port_.ComGetBytes(chunk_, 1);
        }
        // A failing port reads as silence; its waits are slept out, so this does not spin.
        if (n <= 0) return SerialTestDecoder::kNoByte;
        chunkHead_ = 0;
        chunkTail_ = static_cast<size_t>(n);
        if (capture_ && !capture_->write(std::span(chunk_).first(chunkTail_))) {
            captureFailed_.store(1);
        }
    }
    return decoder_.Next(chunk_[chunkHead_++]);
}

void SerialTest::work() {
    while (stop_.load() == 0) {
        const int32_t r = nextResult(kIdleWaitMs);
        if (r > 0) {
            count(r);
        } else if (r == SerialTestDecoder::kOverflow) {
            drainOverflow();
        }
    }
    send(kStopStream);
    // What the module sent before it took the 'g' is still received, counted and kept.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTailLimitMs);
    for (int32_t r = nextResult(kIdleWaitMs);
         r != SerialTestDecoder::kNoByte && std::chrono::steady_clock::now() < limit;
         r = nextResult(kIdleWaitMs)) {
        if (r > 0) count(r);
    }
    port_.close();
    closeCapture();
}

void SerialTest::drainOverflow() {
    // The module waits for 'G' after an overflow; first take what it still had on the way,
    // until the line has been quiet twice in a row. Every overflow is drained.
    send(kStopStream);
    int32_t quiet = 0;
    while (quiet < 2 && stop_.load() == 0) {
        const int32_t r = nextResult(kIdleWaitMs);
        if (r == SerialTestDecoder::kNoByte) {
            if (quiet == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++quiet;
            continue;
        }
        quiet = 0;
        if (r > 0) count(r);
    }
    {
        // Counted here, before the module runs again: the first interval after the restart
        // has to find the overflow noted, or it is compared without the offset.
        std::lock_guard lock(statsMutex_);
        stats_.OverflowEnded();
    }
    if (stop_.load() == 0) send(kStartStream);
}

void SerialTest::closeCapture() {
    if (!capture_) return;
    if (!capture_->commit()) captureFailed_.store(1);
    capture_.reset();
}

}  // namespace acquisition
