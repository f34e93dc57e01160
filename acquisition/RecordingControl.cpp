#include "acquisition/RecordingControl.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/AppSettings.h"
#include "platform/LocalClock.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceSaver.h"

namespace acquisition {

namespace {

// How often sequences that could not be written are tried again.
constexpr auto kRetryEvery = std::chrono::seconds(1);

}  // namespace

RecordingControl::RecordingControl(AppSettings& settings) : settings_(settings) {
    sequence_.setSaveListener([this](const std::string& name) {
        std::lock_guard lock(namesMutex_);
        lastSavedName_ = name;
        savedNames_.push_back(name);
    });
}

RecordingControl::~RecordingControl() {
    recording_.store(0);
    joinWorker();
}

void RecordingControl::setHooks(Hooks hooks) {
    hooks_ = std::move(hooks);
}

JulianTime RecordingControl::deviceNow() const {
    if (hooks_.clock) return hooks_.clock();
    // Burst stamps are good to well under a millisecond, which JulianTime::utcNow() rounds
    // off. The detector's clock runs on from one stamp for the whole night; kept in UTC, it
    // does not carry the evening's summer time past the change.
    const platform::LocalClockReading r = platform::readUtcClock();
    return JulianTime::fromDateTime(r.year, r.month, r.day, r.hour, r.minute, r.second,
                                    r.microsecond);
}

namespace {

// Smaller settings of the clock wait until they add up to this.
constexpr int64_t kClockStepMicros = 500000;

int64_t steadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void RecordingControl::rebaseClockSteps() {
    clockAhead_ = deviceNow().value() - steadyMicros();
}

void RecordingControl::followClockSteps() {
    // Time from the detector runs on from the device clock at the start: when the clock is
    // set later in the night (Set Clock from the GPS, a time server reached at last by a board
    // that started without a clock battery), every file after it would keep the old time. A
    // device clock of a test or a replay has no steps of its own.
    if (timeKeeping_ != 0 || hooks_.clock) return;
    const int64_t ahead = deviceNow().value() - steadyMicros();
    if (std::abs(ahead - clockAhead_) < kClockStepMicros) return;
    detectorClock_ += ahead - clockAhead_;
    clockAhead_ = ahead;
}

void RecordingControl::joinWorker() {
    if (worker_.joinable()) worker_.join();
}

void RecordingControl::sendCommand(uint8_t command) {
    if (reader_ != nullptr) {
        reader_->send(command);
        return;
    }
    port_.ComWriteBytes(&command, 1);
}

std::string RecordingControl::lastSavedName() const {
    std::lock_guard lock(namesMutex_);
    return lastSavedName_;
}

std::vector<std::string> RecordingControl::takeSavedNames() {
    std::lock_guard lock(namesMutex_);
    std::vector<std::string> names;
    names.swap(savedNames_);
    return names;
}

bool RecordingControl::checkModule() {
    if (settings_.SerialPort <= 0) return false;
    if (port_.init(settings_.SerialPort, kModuleBaud, 1, 0) != 0) return false;
    if (port_.setTimeouts(0, 0, 200, 0, 10) == 0) return false;
    // A module that missed the query or whose reply came late (a line just opened, a busy
    // host) is asked once more before the start is refused: an unattended station would
    // otherwise lose a whole search interval of the night.
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Whatever a module left in the line before, a late reply included, is no part of
        // the reply.
        port_.purge();
        const uint8_t query = kVersionQuery;
        if (port_.ComWriteBytes(&query, 1) != 1) return false;
        std::array<uint8_t, kVersionReplyLength + 1> reply{};
        const int32_t got = port_.ComGetBytes(reply, kVersionReplyLength);
        if (got == kVersionReplyLength && reply[0] == kVersionReply) return true;
    }
    return false;
}

void RecordingControl::prepareAccumulator() {
    sequence_.reset();
    sequence_.start(settings_.RecordDivrat & 0xFF, settings_.RecordHeader, settings_.autoSlack,
                    settings_.autoLineLength, settings_.autoMaxTBC, settings_.RecordUseCalTone != 0,
                    monitorMode_.load() != 0);
    sequence_.setFolder(settings_.GPath);
    sequence_.setFolderCheck(folderCheck_);
    if (!settings_.GPath.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(settings_.GPath, ignored);
    }
    timeKeeping_ = settings_.TimeKeeping;
}

RecordingControl::StartResult RecordingControl::StartRecording() {
    if (recording_.load() != 0) return StartResult::AlreadyRecording;
    // A worker that ended by a failure exit is still to be joined.
    joinWorker();

    idleSeconds_.store(0);
    lostPort_.store(0);
    sequence_.reset();
    {
        std::lock_guard lock(namesMutex_);
        lastSavedName_.clear();
        savedNames_.clear();
    }
    decoder_.reset();
    port_.close();

    int32_t port = settings_.SerialPort;
    if (!checkModule()) {
        port_.close();
        const int32_t found = hooks_.searchPorts ? hooks_.searchPorts(port_) : 0;
        if (!port_.isOpen() || found <= 0) {
            port_.close();
            recording_.store(0);
            settings_.SerialPort = 0;
            return StartResult::NoModule;
        }
        port = found;
    }
    settings_.SerialPort = port;
    settings_.SerialPortLastSuccessful = port;
    streamingPort_ = port;

    prepareAccumulator();

    if (hooks_.prepareLiveDisplay && hooks_.prepareLiveDisplay() < 0) {
        platform::showMessage(kWindowTooWide, platform::MessageIcon::Exclamation);
        return StartResult::ViewRefused;
    }
    liveDisplay_.store(1);
    moduleError_.store(0);

    decoder_.reset();
    saveRequested_.store(0);
    sendCommand(kStartStream);
    recording_.store(1);
    worker_ = std::thread([this] { worker(); });
    if (hooks_.startDisplayTimer) hooks_.startDisplayTimer();
    return StartResult::Started;
}

void RecordingControl::StopRecording() {
    if (recording_.load() == 0) {
        joinWorker();
        return;
    }
    recording_.store(0);
    joinWorker();
    liveDisplay_.store(0);
    sendCommand(kStopStream);
    port_.setCommMask(1);
    port_.requestStop();
}

void RecordingControl::SaveRecording() {
    if (recording_.load() == 0) return;
    saveRequested_.store(1);
}

RecordingControl::StartResult RecordingControl::Record() {
    if (recording_.load() != 0) {
        if (monitorMode_.load() == 0) return StartResult::AlreadyRecording;
        StopRecording();
    }
    monitorMode_.store(0);
    return StartRecording();
}

RecordingControl::StartResult RecordingControl::Monitor() {
    if (recording_.load() != 0) {
        if (monitorMode_.load() != 0) return StartResult::AlreadyRecording;
        StopRecording();
    }
    monitorMode_.store(1);
    return StartRecording();
}

RecordingControl::StartResult RecordingControl::ChoosePort() {
    settings_.SerialPort = 0;
    return StartRecording();
}

DotQueue::TickState RecordingControl::drainDisplay(
    const std::function<void(const DotPoint&)>& plot) {
    const DotQueue::TickState state = queue_.beginTick();
    DotPoint point;
    for (int32_t i = 0; i < state.count && queue_.takeOldest(point); ++i) {
        if (plot) plot(point);
    }
    return state;
}

void RecordingControl::beginStream() {
    sequenceSaved_.store(0);
    idleSaved_.store(0);
    beginBurst(JulianTime::invalid());
    draining_ = false;
    queue_.clear();
    detectorClock_ = deviceNow();
    rebaseClockSteps();
    sequence_.setStartClock(hooks_.clock ? SequenceFile::StartClock{} : &JulianTime::localFromUtc);
    queue_.clearFlags();
    saveFailing_.store(0);
    nextRetry_ = std::chrono::steady_clock::now() + kRetryEvery;
}

void RecordingControl::failureExit() {
    if (reader_ != nullptr) {
        reader_->stop();
        reader_ = nullptr;
    }
    sendCommand(kStopStream);
    port_.close();
    recording_.store(0);
    moduleError_.store(1);
    liveDisplay_.store(0);
}

void RecordingControl::lineLostExit() {
    lostPort_.store(streamingPort_);
    failureExit();
}

bool RecordingControl::noteResult(int32_t result, std::atomic<int32_t>& flag) {
    if (result < 0) {
        // A replay has no later save to wait for.
        if (offline_) {
            failureExit();
            return false;
        }
        // One message for a run of failures: a box per attempt would bury the user, and the
        // night goes on either way.
        if (saveFailing_.exchange(1) == 0) {
            std::string text = SequenceSaver::failureMessage(result);
            if (text.empty()) text = SequenceSaver::kWriteFailedMessage;
            platform::showMessage(text, platform::MessageIcon::Exclamation);
        }
        return true;
    }
    if (result > 0) {
        flag.store(1);
        if (sequence_.unsavedCount() == 0) saveFailing_.store(0);
    }
    return true;
}

void RecordingControl::retryUnsavedNow() {
    if (sequence_.unsavedCount() == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextRetry_) return;
    nextRetry_ = now + kRetryEvery;
    noteResult(sequence_.retryUnsaved(), sequenceSaved_);
}

void RecordingControl::finishRun() {
    // A save asked for just before the stop is still carried out.
    if (saveRequested_.exchange(0) != 0) noteResult(sequence_.saveNow(), sequenceSaved_);
    // A pass still being recorded in Monitor mode is saved as the idle end would save it.
    const int32_t kept = sequence_.saveKept();
    noteResult(kept, idleSaved_);
    // A last try for sequences still waiting (saving them did not already fail just now).
    if (kept == 0 && sequence_.unsavedCount() > 0) {
        noteResult(sequence_.retryUnsaved(), sequenceSaved_);
    }
}

bool RecordingControl::takeInterval(int32_t interval) {
    idleSeconds_.store(0);
    detectorClock_ += interval;
    int32_t result;
    if (!firstValuePending_ || draining_) {
        result = sequence_.addInterval(interval);
    } else {
        firstValuePending_ = false;
        JulianTime stamp = detectorClock_;
        if (timeKeeping_ != 0) stamp = firstValueStamp_.isValid() ? firstValueStamp_ : deviceNow();
        result = sequence_.addFirstInterval(interval, stamp);
    }
    return noteResult(result, sequenceSaved_);
}

void RecordingControl::beginBurst(JulianTime arrival) {
    stampNextValue_ = true;
    burstArrival_ = arrival;
}

void RecordingControl::moveDisplayPoints() {
    queue_.trimIfOverfull();
    DotPoint point;
    while (sequence_.nextDisplayPoint(point.value, point.frequency)) queue_.push(point);
}

bool RecordingControl::feedStream(std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) {
        const int32_t r = decoder_.feed(byte);
        if (r > 0) {
            if (!takeInterval(r)) return false;
        } else if (r == StreamDecoder::kOverflow) {
            // The module lost data: take what is still coming, then re-stamp and restart.
            draining_ = true;
            if (offline_ && !finishOverflow()) return false;
        }
        // Markers, messages and incomplete values are passed over. A result of 0 or more
        // means a new value began with this byte.
        if (r >= 0 && stampNextValue_) {
            stampNextValue_ = false;
            firstValuePending_ = true;
            firstValueStamp_ = burstArrival_;
        }
    }
    moveDisplayPoints();
    return true;
}

bool RecordingControl::finishOverflow() {
    draining_ = false;
    queue_.setOverflowSeen();
    moveDisplayPoints();
    const JulianTime stamp = timeKeeping_ == 0 ? detectorClock_ : deviceNow();
    if (!noteResult(sequence_.addTimeStamp(stamp), sequenceSaved_)) return false;
    decoder_.reset();
    sendCommand(kStartStream);
    detectorClock_ = deviceNow();
    rebaseClockSteps();
    firstValuePending_ = false;
    beginBurst(JulianTime::invalid());
    return true;
}

bool RecordingControl::streamDry() {
    if (draining_ && !finishOverflow()) return false;
    // Whatever comes next starts a new burst with its own time stamp.
    if (!stampNextValue_) beginBurst(JulianTime::invalid());
    if (idleSeconds_.load() > 0) {
        idleSeconds_.fetch_sub(1);
        if (!noteResult(sequence_.idleTick(), idleSaved_)) return false;
        moveDisplayPoints();
    }
    return true;
}

bool RecordingControl::endOfInput() {
    // A value is reported only when the next one begins; none will.
    const int32_t last = decoder_.finish();
    if (last > 0) {
        if (!takeInterval(last)) return false;
        moveDisplayPoints();
    }
    return streamDry();
}

void RecordingControl::worker() {
    beginStream();
    // The user's saves are marked in the input where they were asked for.
    PortReader reader(
        port_, [this] { return deviceNow(); }, &saveRequested_);
    reader_ = &reader;
    PortReader::Item item;
    bool running = true;
    while (running) {
        // Input that came before a stop is still recorded: while files are slow to write,
        // the reader may be seconds ahead.
        auto wait = std::chrono::milliseconds(kIdleWaitMs);
        if (recording_.load() == 0) {
            if (reader_ != nullptr) reader.stop();
            reader_ = nullptr;
            wait = std::chrono::milliseconds(0);
        }
        retryUnsavedNow();
        if (!reader.next(item, wait)) {
            running = reader_ != nullptr;
            continue;
        }
        followClockSteps();
        switch (item.kind) {
            case PortReader::Item::Kind::Bytes:
                if (item.arrival.isValid()) beginBurst(item.arrival);
                running = feedStream(item.bytes);
                break;
            case PortReader::Item::Kind::Pause:
                running = streamDry();
                break;
            case PortReader::Item::Kind::Mark:
                // The user's save: everything up to here goes into the file; the value being
                // received belongs to the next one, so the decoder keeps it.
                running = noteResult(sequence_.saveNow(), sequenceSaved_);
                moveDisplayPoints();
                break;
            case PortReader::Item::Kind::LineLost:
                // What was recorded up to here is still saved on the way out.
                lineLostExit();
                running = false;
                break;
        }
    }
    reader.stop();
    reader_ = nullptr;
    finishRun();
}

}  // namespace acquisition
