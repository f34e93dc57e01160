#include "sequence/SequenceFile.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "app/AppSettings.h"
#include "sequence/SequenceSaver.h"

namespace {

// Room for interval codes in one file: every code then ends at or before byte 32 761, so the
// writer never has to cut the data short.
constexpr int32_t kDataBytesLimit = 32761 - seqformat::kDataOffset84;

int32_t clampToInterval(int64_t value) {
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

}  // namespace

SequenceFile::SequenceFile() {
    toneBuffer_.reserve(kToneBufferLimit);
    store_.times[0] = 0;
    store_.count = 0;
}

void SequenceFile::start(int32_t divisionRatio, const std::string& header, int32_t slack,
                         int32_t lineLength, int32_t maxTimeBetweenCalls, bool toneFilter,
                         bool automatic) {
    ratio_ = divisionRatio;
    ratioScaled_ = static_cast<double>(divisionRatio) * 1e9;
    header_ = header;
    slack_ = slack;
    lineLength_ = lineLength;
    maxTbc_ = maxTimeBetweenCalls;
    toneFilter_ = toneFilter;
    automatic_ = automatic;
    store_.divisionRatio = divisionRatio;
    store_.timingValue = static_cast<uint16_t>(kTimingValue);
    if (toneFilter) {
        // 40 kHz ± 1 % after division: N × 12.5 µs ± N / 8 µs.
        toneLower_ = (99 * divisionRatio) / 8;
        toneUpper_ = (101 * divisionRatio + 7) / 8;
    } else {
        toneLower_ = toneUpper_ = 0;
    }
}

void SequenceFile::resetRingLocked() {
    store_.times[0] = 0;
    std::atomic_ref<int32_t>(store_.frequency[0]).store(0, std::memory_order_relaxed);
    head_ = 1;
    tail_ = 0;
    display_ = 1;
    publishBounds();
}

void SequenceFile::resetSequence() {
    {
        std::lock_guard lock(mutex_);
        resetRingLocked();
    }
    previous_ = 0;
    keep_ = false;
    duration_ = 0;
    idle_ = 0;
    inRun_ = false;
    runCounted_ = false;
    runLength_ = 0;
    runsCounted_ = 0;
}

void SequenceFile::reset() {
    resetSequence();
    toneBuffer_.clear();
    toneSum_ = 0;
    toneInProgress_ = false;
}

void SequenceFile::setSaveListener(std::function<void(const std::string&)> listener) {
    saveListener_ = std::move(listener);
}

void SequenceFile::setWriter(Writer writer) {
    writer_ = std::move(writer);
}

void SequenceFile::setPosition(const PositionBlock& position) {
    std::lock_guard lock(positionMutex_);
    position_ = position;
}

void SequenceFile::ringBounds(int32_t& head, int32_t& tail) const {
    const uint32_t packed = bounds_.load(std::memory_order_acquire);
    head = static_cast<int32_t>(packed & 0xFFFFu);
    tail = static_cast<int32_t>(packed >> 16);
}

int32_t SequenceFile::ringFrequency(int32_t slot) const {
    return std::atomic_ref<int32_t>(const_cast<int32_t&>(store_.frequency[slot & kRingMask]))
        .load(std::memory_order_relaxed);
}

int32_t SequenceFile::addToRing(int32_t interval) {
    int32_t result = 0;
    if (automatic_ && keep_ &&
        (interval > maxTbc_ || ringCount() + 1 >= kRingFullCount ||
         interval + duration_ >= kMaxSequenceDuration)) {
        result = save();
    }

    const int32_t slot = head_;
    store_.times[slot] = interval;
    duration_ += interval;
    referenceOffset_ += interval;
    if (referenceOffset_ > kFoldThreshold) {
        foldReference();
        referenceSlot_ = slot;
    }

    int32_t frequency = 0;
    if (((head_ - tail_) & kRingMask) > 2) {
        const int64_t span = int64_t{interval} + previous_;
        if (span >= 48 && span <= 11999) {
            frequency = clampToInterval(
                static_cast<int64_t>(ratioScaled_ / static_cast<double>(span) + 0.5));
        }
    }
    std::atomic_ref<int32_t>(store_.frequency[slot]).store(frequency, std::memory_order_relaxed);

    head_ = (head_ + 1) & kRingMask;
    previous_ = interval;
    if (head_ == tail_) tail_ = (tail_ + 1) & kRingMask;
    if (head_ == display_) display_ = (display_ + 1) & kRingMask;
    publishBounds();

    if (automatic_) runDetector();
    return result;
}

void SequenceFile::runDetector() {
    if (ringCount() < 3) return;
    idle_ = 0;
    const int64_t b = store_.times[(head_ - 1) & kRingMask];
    const int64_t a = store_.times[(head_ - 2) & kRingMask];
    const int64_t c = store_.times[(head_ - 3) & kRingMask];
    const int64_t d = a + b;
    const int64_t e = (d >> 2) + slack_ * (d >> 4);
    const int64_t f = (b + c) >> 1;
    if (!(f - e < a && a < f + e)) {
        inRun_ = false;
        runCounted_ = false;
        return;
    }
    if (!inRun_) {
        inRun_ = true;
        runLength_ = 3;
        // A sequence without calls so far starts afresh at this run.
        if (duration_ > maxTbc_ && !keep_) duration_ = a + b + c;
        return;
    }
    ++runLength_;
    if (runLength_ > lineLength_ + 2 && !runCounted_) {
        runCounted_ = true;
        if (++runsCounted_ >= 2) keep_ = true;
    }
}

int32_t SequenceFile::addInterval(int32_t interval) {
    // The module never reports an empty interval; anything else is not a time between
    // crossings and would corrupt the sequence's time line.
    if (interval <= 0) return 0;
    return addThroughFilter(interval);
}

int32_t SequenceFile::addThroughFilter(int32_t interval) {
    if (!toneFilter_) return addToRing(interval);

    if (interval >= toneLower_ && interval <= toneUpper_) {
        if (toneInProgress_) {
            toneSum_ += interval;
            return 0;
        }
        toneBuffer_.push_back(interval);
        toneSum_ += interval;
        if (toneSum_ <= kToneSumLimit &&
            static_cast<int32_t>(toneBuffer_.size()) < kToneBufferLimit) {
            return 0;
        }
        // A calibration tone: the sequence before it becomes a file, and the tone's whole
        // time (the buffered part included) will be one interval of the next sequence.
        const int32_t r = save();
        toneInProgress_ = true;
        toneBuffer_.clear();
        return r;
    }

    bool saved = false;
    if (toneInProgress_) {
        toneInProgress_ = false;
        if (toneSum_ != 0) {
            const int32_t tone = clampToInterval(toneSum_);
            toneSum_ = 0;
            const int32_t r = addToRing(tone);
            if (r < 0) return r;
            saved = r > 0;
        }
    } else if (!toneBuffer_.empty()) {
        // Not a tone after all: the held intervals go in, in order, all of them.
        for (const int32_t held : toneBuffer_) {
            const int32_t r = addToRing(held);
            if (r < 0) {
                toneBuffer_.clear();
                toneSum_ = 0;
                return r;
            }
            saved = saved || r > 0;
        }
        toneBuffer_.clear();
        toneSum_ = 0;
    }
    const int32_t r = addToRing(interval);
    if (r < 0) return r;
    return (saved || r > 0) ? 1 : 0;
}

int32_t SequenceFile::addStamped(int64_t interval, JulianTime stamp) {
    // Intervals the tone filter still holds come before this one.
    const int64_t pending = toneFilter_ ? toneSum_ : 0;
    if (interval <= kLongestFirstInterval) {
        if (stamp.isValid()) {
            referenceTime_ = stamp - (interval + pending);
            referenceOffset_ = 0;
            referenceSlot_ = (head_ - 1) & kRingMask;
        }
        return addThroughFilter(static_cast<int32_t>(interval));
    }
    // Too long for any sequence: what came before it is over.
    int32_t result = 0;
    if (automatic_ && keep_) result = save();
    reset();
    if (stamp.isValid()) {
        referenceTime_ = stamp;
        referenceOffset_ = 0;
        referenceSlot_ = (head_ - 1) & kRingMask;
    }
    return result;
}

int32_t SequenceFile::addFirstInterval(int32_t interval, JulianTime stamp) {
    if (interval <= 0) return 0;
    return addStamped(interval, stamp);
}

int32_t SequenceFile::addTimeStamp(JulianTime stamp) {
    foldReference();
    referenceSlot_ = (head_ - 1) & kRingMask;
    if (!stamp.isValid() || !referenceTime_.isValid()) return 0;
    const int64_t pending = toneFilter_ ? toneSum_ : 0;
    const int64_t elapsed = stamp.value() - referenceTime_.value() - pending;
    if (elapsed <= kStampSlack) return 0;
    return addStamped(elapsed, stamp);
}

int32_t SequenceFile::idleTick() {
    if (!automatic_) return 0;
    idle_ += kIdleTick;
    if (keep_ && idle_ > maxTbc_) return save();
    return 0;
}

int32_t SequenceFile::saveNow() {
    return save();
}

int32_t SequenceFile::saveKept() {
    if (automatic_ && keep_) return save();
    return 0;
}

bool SequenceFile::nextDisplayPoint(int32_t& value, int32_t& frequency) {
    if (display_ == head_) return false;
    value = store_.times[display_];
    frequency = store_.frequency[display_];
    display_ = (display_ + 1) & kRingMask;
    return true;
}

void SequenceFile::foldReference() {
    referenceTime_ += referenceOffset_;
    referenceOffset_ = 0;
}

int32_t SequenceFile::save() {
    foldReference();
    referenceSlot_ = (head_ - 1) & kRingMask;

    // The newest intervals that fit one file: at most 15 seconds and no more than its data
    // area holds. The oldest taken interval is coded against 0 in the file.
    const int32_t available = ringCount() - 1;
    int64_t sum = 0;
    int32_t bytes = 0;
    int32_t taken = 0;
    int64_t newer = 0;
    while (taken < available) {
        const int64_t interval = store_.times[(head_ - 1 - taken) & kRingMask];
        if (sum + interval > seqformat::kMaxSequenceTime) break;
        int32_t grown = bytes + seqformat::codeSize(interval, 0);
        if (taken > 0)
            grown += seqformat::codeSize(newer, interval) - seqformat::codeSize(newer, 0);
        if (grown > kDataBytesLimit) break;
        bytes = grown;
        sum += interval;
        newer = interval;
        ++taken;
    }
    if (taken == 0) {
        resetSequence();
        // Nothing new: what still waits is written instead.
        return retryUnsaved();
    }

    Finished sequence;
    try {
        sequence.times.resize(static_cast<size_t>(taken) + 1);
    } catch (const std::bad_alloc&) {
        resetSequence();
        return kFailedAllocation;
    }
    int32_t time = 0;
    const int32_t first = head_ - taken;
    for (int32_t i = 0; i < taken; ++i) {
        time += store_.times[(first + i) & kRingMask];
        sequence.times[static_cast<size_t>(i) + 1] = time;
    }
    sequence.ratio = ratio_;
    sequence.start = referenceTime_ - sum;
    if (startClock_) sequence.start = startClock_(sequence.start);
    {
        std::lock_guard lock(positionMutex_);
        sequence.position = position_;
    }
    // The sequence is finished either way: when its file cannot be written now, it waits.
    resetSequence();
    return writeInTurn(std::move(sequence));
}

int32_t SequenceFile::write(const Finished& sequence) {
    std::unique_ptr<DotStore> copy;
    try {
        copy = std::make_unique<DotStore>();
    } catch (const std::bad_alloc&) {
        return kFailedAllocation;
    }
    std::copy(sequence.times.begin(), sequence.times.end(), copy->times.begin());
    copy->count = static_cast<int32_t>(sequence.times.size());
    copy->divisionRatio = sequence.ratio;
    copy->timingValue = static_cast<uint16_t>(kTimingValue);
    std::string name;
    const int32_t r = writer_ ? writer_(*copy, sequence.start, sequence.position, name)
                              : defaultWrite(*copy, sequence.start, sequence.position, name);
    if (r < 0) return r;
    lastFileName_ = name;
    if (saveListener_) saveListener_(name);
    return 0;
}

int32_t SequenceFile::retryUnsaved() {
    if (unsaved_.empty()) return 0;
    while (!unsaved_.empty()) {
        const int32_t r = write(unsaved_.front());
        if (r < 0) return r;
        unsavedBytes_ -= static_cast<int64_t>(unsaved_.front().times.size() * sizeof(int32_t));
        unsaved_.pop_front();
    }
    return 1;
}

int32_t SequenceFile::writeInTurn(Finished sequence) {
    // Older sequences go first; while they still cannot be written, neither can this one.
    int32_t r = retryUnsaved();
    if (r >= 0) r = write(sequence);
    if (r < 0) {
        keepUnsaved(std::move(sequence));
        return r;
    }
    return 1;
}

void SequenceFile::keepUnsaved(Finished sequence) {
    const auto bytes = static_cast<int64_t>(sequence.times.size() * sizeof(int32_t));
    while (!unsaved_.empty() && unsavedBytes_ + bytes > kUnsavedLimitBytes) {
        unsavedBytes_ -= static_cast<int64_t>(unsaved_.front().times.size() * sizeof(int32_t));
        unsaved_.pop_front();
        ++droppedUnsaved_;
    }
    unsavedBytes_ += bytes;
    unsaved_.push_back(std::move(sequence));
}

int32_t SequenceFile::defaultWrite(const DotStore& store, JulianTime start,
                                   const PositionBlock& position, std::string& name) {
    // The recorder tells the user about failed saves, once for a run of them.
    if (folderCheck_) {
        const std::string folder = folderCheck_();
        if (folder.empty()) return SequenceSaver::kCannotWrite;
        return SequenceSaver::write(folder, store, SequenceHeaderText{}, start, position, &name);
    }
    const std::string& folder = folder_.empty() ? appSettings().GPath : folder_;
    return SequenceSaver::write(folder, store, SequenceHeaderText{}, start, position, &name);
}
