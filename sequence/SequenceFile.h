#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sequence/DotStore.h"
#include "sequence/JulianTime.h"
#include "sequence/PositionBlock.h"
#include "sequence/SequenceFormat.h"

// The zero-crossing sequence object. On the file side it owns the dot store a file is read
// into; while recording, the same store's times and frequency arrays are a ring of the newest
// intervals, from which sequences are cut and written as files.
//
// Recording side: every interval the module reports passes (optionally) through the
// calibration-tone filter into the ring. In automatic mode a call detector looks for runs of
// smoothly changing intervals; a sequence that holds two such runs is kept and is written
// when the calls stop (a gap longer than T, or idle ticks adding up to more than T), when it
// reaches 15 seconds, or when the ring is nearly full. In manual mode intervals are only
// collected; saveNow() writes the newest (at most 15 seconds) on demand.
//
// Threads: every recording-side operation runs on one thread (the recording worker). The
// view, on another thread, reads the ring through ringBounds() and ringFrequency() while it
// holds mutex(); those reads are safe at any moment because the bounds are published as one
// atomic word and each frequency slot is read and written atomically, and the ring is
// emptied (reset) only while mutex() is held.
class SequenceFile {
  public:
    static constexpr int32_t kRingSize = DotStore::kCapacity;
    static constexpr int32_t kRingMask = kRingSize - 1;
    // A sequence never spans more than this (the sum of its intervals stays below it).
    static constexpr int32_t kMaxSequenceDuration = 15000000;
    // Automatic mode closes a kept sequence before the ring holds this many entries.
    static constexpr int32_t kRingFullCount = 16382;
    // A first interval longer than this cannot belong to any sequence.
    static constexpr int32_t kLongestFirstInterval = 15728640;
    // The reference offset is folded into the reference time when it passes this.
    static constexpr int64_t kFoldThreshold = 268435456;
    // Time stamps at most this far after the newest dot add nothing.
    static constexpr int64_t kStampSlack = 10;
    // Calibration tone: intervals at 40 kHz ± 1 % buffered up to this sum or this many.
    static constexpr int64_t kToneSumLimit = 64000;
    static constexpr int32_t kToneBufferLimit = 5100;
    static constexpr int32_t kTimingValue = 25000;
    static constexpr int32_t kFailedAllocation = -32;
    // Idle ticks each stand for one second.
    static constexpr int64_t kIdleTick = 1000000;

    // Writes one finished sequence: 0 on success with `name` set, negative on failure. The
    // default writes through SequenceSaver into the sequence folder.
    using Writer = std::function<int32_t(const DotStore& store, JulianTime start,
                                         const PositionBlock& position, std::string& name)>;

    SequenceFile();
    SequenceFile(const SequenceFile&) = delete;
    SequenceFile& operator=(const SequenceFile&) = delete;

    // --- file side ---
    DotStore& store() { return store_; }
    const DotStore& store() const { return store_; }

    // --- recording side (all on the recording thread) ---

    // Takes the recording parameters: division ratio N, the header text (kept, not yet used
    // in files), tolerance K, minimum run L, longest time between calls T (µs), the
    // calibration-tone filter, and automatic (Monitor) or manual (Record) mode. Does not
    // empty the ring: the caller resets.
    void start(int32_t divisionRatio, const std::string& header, int32_t slack, int32_t lineLength,
               int32_t maxTimeBetweenCalls, bool toneFilter, bool automatic);

    // Empties the ring (one zero entry), the keep flag, the durations, the tone filter and the
    // call detector.
    void reset();

    // The first interval of a burst, ending at `stamp`. 1 when a file was written, 0 when not,
    // negative when a write failed.
    int32_t addFirstInterval(int32_t interval, JulianTime stamp);
    // One interval (µs) through the tone filter. 1 / 0 / negative as above.
    int32_t addInterval(int32_t interval);
    // The time between the newest dot and `stamp`, as an interval ending at the stamp.
    int32_t addTimeStamp(JulianTime stamp);
    // One second without data (automatic mode only).
    int32_t idleTick();
    // Writes the current sequence whatever the keep flag (nothing when it holds no interval)
    // and resets. 1 when written, 0 when there was nothing to write, negative on failure.
    int32_t saveNow();
    // The end of a recording: in automatic mode a sequence that holds calls is written, as
    // the idle end would write it; otherwise nothing. 1 / 0 / negative as above.
    int32_t saveKept();

    // A sequence whose file could not be written is not lost: it waits, oldest first, and is
    // written before the next file or by retryUnsaved(), so saving resumes by itself once
    // the disk has room again. Past kUnsavedLimitBytes of waiting data the oldest is dropped.
    static constexpr int64_t kUnsavedLimitBytes = int64_t{32} << 20;
    // Writes the waiting sequences: 1 when all are written now, 0 when none waited, negative
    // when one failed again (it and those after it keep waiting).
    int32_t retryUnsaved();
    int32_t unsavedCount() const { return static_cast<int32_t>(unsaved_.size()); }
    // Sequences dropped because too many waited.
    int32_t droppedUnsaved() const { return droppedUnsaved_; }

    // The next dot for the live display: the interval and its frequency (thousandths of a
    // hertz). False when the display has caught up.
    bool nextDisplayPoint(int32_t& value, int32_t& frequency);

    // The name of the newest file written (recording thread only; see setSaveListener).
    const std::string& lastFileName() const { return lastFileName_; }
    // Called on the recording thread with the name of every file written, as it is written.
    void setSaveListener(std::function<void(const std::string&)> listener);

    // Where files go; by default the settings' sequence folder at the time of the save.
    void setFolder(std::string folder) { folder_ = std::move(folder); }
    // Asked before every file is written (on the recording thread) for the folder to write
    // into, "" when there is none; it makes sure the folder exists. Replaces setFolder's.
    using FolderCheck = std::function<std::string()>;
    void setFolderCheck(FolderCheck check) { folderCheck_ = std::move(check); }
    // Replaces how files are written (for tests); an empty writer restores the default.
    void setWriter(Writer writer);
    // Turns a start on the time line of the stamps into the clock a file holds (the local
    // clock of the moment, which summer time moves while the line runs on); none: the
    // stamps are that clock already.
    using StartClock = std::function<JulianTime(JulianTime lineTime)>;
    void setStartClock(StartClock clock) { startClock_ = std::move(clock); }

    // The position written into every following file; any thread.
    void setPosition(const PositionBlock& position);

    // --- the view's side (any thread, holding mutex()) ---
    std::mutex& mutex() { return mutex_; }
    static constexpr int32_t ringMask() { return kRingMask; }
    void ringBounds(int32_t& head, int32_t& tail) const;
    int32_t ringFrequency(int32_t slot) const;

    // --- state for tests and status ---
    int32_t ringCount() const { return (head_ - tail_) & kRingMask; }
    bool keep() const { return keep_; }
    int32_t runsCounted() const { return runsCounted_; }
    bool toneInProgress() const { return toneInProgress_; }
    int32_t tonePending() const { return static_cast<int32_t>(toneBuffer_.size()); }
    int32_t toneLower() const { return toneLower_; }
    int32_t toneUpper() const { return toneUpper_; }
    int64_t sequenceDuration() const { return duration_; }
    // The time of the newest dot in the ring.
    JulianTime newestDotTime() const { return referenceTime_ + referenceOffset_; }

  private:
    // Empties the ring and the sequence's state but not the tone filter, whose pending
    // intervals belong to the time after a save.
    void resetSequence();
    void resetRingLocked();
    // Steps 1-5 of adding one interval to the ring (after the tone filter).
    int32_t addToRing(int32_t interval);
    void runDetector();
    int32_t addThroughFilter(int32_t interval);
    int32_t addStamped(int64_t interval, JulianTime stamp);
    // Writes the newest intervals (at most 15 s, all that fit a file) and resets.
    int32_t save();
    // A finished sequence, ready to be written: its cumulative times (time 0 = 0) and header.
    struct Finished {
        std::vector<int32_t> times;
        int32_t ratio = 0;
        JulianTime start;
        PositionBlock position;
    };
    // Writes one finished sequence: 0 or negative.
    int32_t write(const Finished& sequence);
    // Waiting sequences first, then `sequence`; what cannot be written waits.
    int32_t writeInTurn(Finished sequence);
    void keepUnsaved(Finished sequence);
    void foldReference();
    void publishBounds() {
        bounds_.store(static_cast<uint32_t>(head_) | (static_cast<uint32_t>(tail_) << 16),
                      std::memory_order_release);
    }
    int32_t defaultWrite(const DotStore& store, JulianTime start, const PositionBlock& position,
                         std::string& name);

    DotStore store_;
    mutable std::mutex mutex_;

    // Ring: slots of store_.times (intervals) and store_.frequency.
    int32_t head_ = 1;
    int32_t tail_ = 0;
    int32_t display_ = 1;
    std::atomic<uint32_t> bounds_{1};
    int32_t previous_ = 0;

    // Time of the newest dot = referenceTime_ + referenceOffset_.
    JulianTime referenceTime_;
    int64_t referenceOffset_ = 0;
    int32_t referenceSlot_ = 0;

    int64_t duration_ = 0;
    int64_t idle_ = 0;
    bool keep_ = false;

    // Call detector.
    bool inRun_ = false;
    bool runCounted_ = false;
    int32_t runLength_ = 0;
    int32_t runsCounted_ = 0;

    // Parameters.
    int32_t ratio_ = 16;
    double ratioScaled_ = 16e9;
    std::string header_;
    int32_t slack_ = 1;
    int32_t lineLength_ = 5;
    int32_t maxTbc_ = 5000000;
    bool toneFilter_ = false;
    bool automatic_ = false;

    // Calibration-tone filter.
    int32_t toneLower_ = 0;
    int32_t toneUpper_ = 0;
    std::vector<int32_t> toneBuffer_;
    int64_t toneSum_ = 0;
    bool toneInProgress_ = false;

    std::deque<Finished> unsaved_;
    int64_t unsavedBytes_ = 0;
    int32_t droppedUnsaved_ = 0;

    std::string lastFileName_;
    std::string folder_;
    FolderCheck folderCheck_;
    std::function<void(const std::string&)> saveListener_;
    Writer writer_;
    StartClock startClock_;
    mutable std::mutex positionMutex_;
    PositionBlock position_;
};
