#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/CommFile.h"
#include "acquisition/DotQueue.h"
#include "acquisition/PortReader.h"
#include "acquisition/StreamDecoder.h"
#include "sequence/JulianTime.h"
#include "sequence/SequenceFile.h"

struct AppSettings;

namespace acquisition {

// The link to the module while it records: checks the module, starts and stops its stream,
// and runs the worker thread that decodes the stream, feeds the sequence accumulator and
// queues display points. The document owns one and forwards its Rec commands here; the view
// reads the status flags and drains the display queue.
//
// Threads: StartRecording, StopRecording and SaveRecording run on the user-interface thread;
// the worker owns the decoder and the accumulator while it runs, and its PortReader the port,
// so that a slow file write never leaves the line unread. A save request is carried out by
// the worker between two pieces of input, so it never overlaps the worker's own use of the
// accumulator.
class RecordingControl {
  public:
    static constexpr int32_t kModuleBaud = 115200;
    static constexpr uint8_t kVersionQuery = 'v';
    static constexpr uint8_t kStartStream = 'G';
    static constexpr uint8_t kStopStream = 'g';
    static constexpr uint8_t kVersionReply = 'V';
    static constexpr int32_t kVersionReplyLength = 7;
    // How long a wait for data lasts before the input counts as dry.
    static constexpr uint32_t kIdleWaitMs = PortReader::kIdleWaitMs;
    static constexpr const char* kWindowTooWide = "Record Window too wide";
    static constexpr const char* kModuleErrorText = "DETLINK error";

    // What StartRecording did.
    enum class StartResult {
        Started,
        AlreadyRecording,
        NoModule,     // the module did not answer and the search found none
        ViewRefused,  // "Record Window too wide" was shown; the port stays open
    };

    // Where the recording meets the user interface. Every member may be left empty.
    struct Hooks {
        // Runs the module port search on `port` (modally, or headless): afterwards the port
        // is open on the module, or closed when none was found. Returns the port number
        // found (> 0), or <= 0.
        std::function<int32_t(CommFile& port)> searchPorts;
        // The view prepares its live display: negative when it cannot.
        std::function<int32_t()> prepareLiveDisplay;
        // The view starts its 25 ms display tick.
        std::function<void()> startDisplayTimer;
        // The device clock, as the files hold it. By default the stamps run in UTC and each
        // file's start is turned into the local clock of that moment, so that a night across
        // a change of summer time names its files as the wall clock reads.
        std::function<JulianTime()> clock;
    };

    explicit RecordingControl(AppSettings& settings);
    ~RecordingControl();
    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    void setHooks(Hooks hooks);
    // The document's folder check, run on the worker before every file is written: it makes
    // sure the folder exists (or moves to another) and answers the folder to write into, ""
    // when there is none. Without it files go to the folder the recording started with.
    void setFolderCheck(SequenceFile::FolderCheck check) { folderCheck_ = std::move(check); }

    // --- the Rec menu ---
    StartResult StartRecording();
    void StopRecording();
    void SaveRecording();
    // "Record" and "Monitor": switch mode (a full stop and a new start when the other mode
    // is running); nothing when that mode already runs.
    StartResult Record();
    StartResult Monitor();
    // "Choose port": forget the module's port, then start (which searches).
    StartResult ChoosePort();

    // --- what the view reads (any thread) ---
    bool recording() const { return recording_.load() != 0; }
    bool monitorMode() const { return monitorMode_.load() != 0; }
    void setMonitorMode(bool on) { monitorMode_.store(on ? 1 : 0); }
    // Set by the worker when a file was written; the view clears them.
    std::atomic<int32_t>& sequenceSaved() { return sequenceSaved_; }
    std::atomic<int32_t>& idleSaved() { return idleSaved_; }
    // One-second ticks without data; the view adds one every second while live.
    std::atomic<int32_t>& idleSeconds() { return idleSeconds_; }
    // 1 while the live display runs; 0 after a stop or a failure exit.
    std::atomic<int32_t>& liveDisplay() { return liveDisplay_; }
    // 1 after a failure exit: the view shows "DETLINK error" and clears it.
    std::atomic<int32_t>& moduleError() { return moduleError_; }
    // 1 from a failed save until a file is written again. A failed save does not end the
    // recording: the first of a run of them is reported through the message sink, and the
    // sequence waits in the accumulator to be written once the disk takes files again.
    bool saveFailing() const { return saveFailing_.load() != 0; }
    // The port whose module went away (hang-up, I/O error, device removed) and so ended the
    // last recording; 0 when that did not happen. Read after the recording has ended.
    int32_t lostPort() const { return lostPort_.load(); }

    // The name of the newest file written during this recording ("" before the first).
    std::string lastSavedName() const;
    // Every file written since the last call, oldest first (for the folder list and for
    // printing); each name is handed out exactly once.
    std::vector<std::string> takeSavedNames();

    DotQueue& dotQueue() { return queue_; }
    SequenceFile& accumulator() { return sequence_; }
    CommFile& modulePort() { return port_; }

    // The view's display tick: reads the count and the notices, then hands over at most that
    // many points, oldest first, one per hold of the lock.
    DotQueue::TickState drainDisplay(const std::function<void(const DotPoint&)>& plot);

    // The view's one-second tick while live.
    void secondTick() { idleSeconds_.fetch_add(1); }

    // Sends a command byte to the module (through the worker's reader while it streams); the
    // result of the write is not looked at.
    void sendCommand(uint8_t command);

    // --- the stream path the worker runs, also used to replay a captured stream ---
    // Empties the accumulator and starts it with the settings (division ratio, header, K, L,
    // T, tone filter, sequence folder) in the current mode; takes TimeKeeping.
    void prepareAccumulator();
    // A captured stream has no silence after an overflow escape (the module sent nothing
    // more until it was restarted), so the drain ends at the escape itself.
    void setOffline(bool offline) { offline_ = offline; }
    // Worker steps before the first read: flags cleared, queue emptied, clocks set.
    void beginStream();
    // Decodes a chunk of the module's stream and feeds the accumulator; false when the
    // failure exit was taken. A failed write ends only an offline replay: a recording reports
    // it and goes on.
    bool feedStream(std::span<const uint8_t> bytes);
    // The input has run dry: finishes an overflow drain, starts a new burst, and passes on
    // one idle second. False after a failure exit.
    bool streamDry();
    // The input has ended for good (the end of a capture): the value the decoder still holds
    // is complete and is taken, then the input counts as dry. False after a failure exit.
    bool endOfInput();
    JulianTime detectorClock() const { return detectorClock_; }

  private:
    // The module check on an open port: 'v' answered by 7 bytes beginning 'V'.
    bool checkModule();
    void worker();
    // One decoded interval: false on a failure of the accumulator.
    bool takeInterval(int32_t interval);
    // The next value to begin is the first of a burst; `arrival` is the device clock when its
    // first byte came (invalid: read it when the value is complete).
    void beginBurst(JulianTime arrival);
    bool finishOverflow();
    void moveDisplayPoints();
    void failureExit();
    // The module's line has gone away: the recording ends as a module failure.
    void lineLostExit();
    bool noteResult(int32_t result, std::atomic<int32_t>& flag);
    // Waiting sequences are tried again at most this often while the recording runs.
    void retryUnsavedNow();
    // The worker's last steps when the recording ends.
    void finishRun();
    JulianTime deviceNow() const;
    // With time from the detector, carries a setting of the device clock over to the
    // detector's clock (see clockAhead_).
    void followClockSteps();
    void rebaseClockSteps();
    void joinWorker();

    AppSettings& settings_;
    Hooks hooks_;
    CommFile port_;
    StreamDecoder decoder_;
    SequenceFile sequence_;
    DotQueue queue_;
    std::thread worker_;
    // The worker's reader while it streams (worker thread only).
    PortReader* reader_ = nullptr;

    std::atomic<int32_t> recording_{0};
    std::atomic<int32_t> monitorMode_{0};
    std::atomic<int32_t> sequenceSaved_{0};
    std::atomic<int32_t> idleSaved_{0};
    std::atomic<int32_t> idleSeconds_{0};
    std::atomic<int32_t> liveDisplay_{0};
    std::atomic<int32_t> moduleError_{0};
    std::atomic<int32_t> saveRequested_{0};
    std::atomic<int32_t> saveFailing_{0};
    SequenceFile::FolderCheck folderCheck_;
    std::atomic<int32_t> lostPort_{0};
    // The port the running recording reads ("Choose port" may clear the setting meanwhile).
    int32_t streamingPort_ = 0;

    mutable std::mutex namesMutex_;
    std::string lastSavedName_;
    std::vector<std::string> savedNames_;

    // The worker's own state.
    JulianTime detectorClock_;
    // How far the device clock stood ahead of the steady clock when the detector's clock was
    // last set from it (µs). Only setting the clock changes it, which slewing does not.
    int64_t clockAhead_ = 0;
    // A value is reported only when the next one begins, so the stamp of a burst belongs to
    // the value that begins with its first byte, not to the one that byte completes (the
    // last of the burst before). beginBurst() marks the next value to begin; that value
    // carries the stamp until it is complete.
    bool stampNextValue_ = false;
    JulianTime burstArrival_ = JulianTime::invalid();
    bool firstValuePending_ = false;
    JulianTime firstValueStamp_ = JulianTime::invalid();
    bool draining_ = false;
    int32_t timeKeeping_ = 0;
    bool offline_ = false;
    std::chrono::steady_clock::time_point nextRetry_;
};

}  // namespace acquisition
