#include "acquisition/ModuleSimulator.h"

#include <algorithm>
#include <limits>

#include "acquisition/ModuleWireEncoder.h"

namespace acquisition {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
constexpr int64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr int64_t kLargestInterval = 0x7FFFFFFF;

int64_t firstAt(int64_t every) {
    return every > 0 ? every : kNever;
}

}  // namespace

ModuleSimulator::Item ModuleSimulator::item(ModuleEventKind kind, int64_t timeUs, size_t size,
                                            bool streamData, int64_t value) {
    return Item{kind, timeUs, value, {}, size, size, streamData};
}

ModuleSimulator::ModuleSimulator(const ModuleSimulatorOptions& options, EventSink sink)
    : options_(options), sink_(std::move(sink)), night_(options.night) {
    options_.baud = std::max(options_.baud, 1);
    options_.bufferBytes = std::max(options_.bufferBytes, 16);
    nextOverflowUs_ = firstAt(options_.overflowEveryUs);
    nextMarkerUs_ = firstAt(options_.markerEveryUs);
    nextMessageUs_ = firstAt(options_.messageEveryUs);
}

bool ModuleSimulator::busy() const {
    return state_ == State::Streaming || state_ == State::Overflowing || bufferedBytes() > 0;
}

int64_t ModuleSimulator::sceneTimeUs(int64_t nowUs) const {
    if (state_ == State::Streaming || state_ == State::Overflowing) {
        return sceneAtStartUs_ + (nowUs - streamStartUs_);
    }
    return sceneFrozenUs_;
}

int64_t ModuleSimulator::nextEventUs() {
    if ((state_ != State::Streaming && state_ != State::Overflowing) || silent_) return kNever;
    const int64_t crossingNs = night_.peek().timeNs;
    const int64_t crossing = crossingNs == kNever ? kNever : crossingNs / 1000;
    const int64_t silence = options_.silentAfterUs >= 0 ? options_.silentAfterUs : kNever;
    const int64_t first =
        std::min({crossing, silence, nextOverflowUs_, nextMarkerUs_, nextMessageUs_});
    if (first == kNever) return kNever;
    return streamStartUs_ + (first - sceneAtStartUs_);
}

int64_t ModuleSimulator::bitsAt(int64_t timeUs) const {
    return timeUs * options_.baud / 1000000;
}

void ModuleSimulator::freezeScene(int64_t nowUs) {
    if (state_ == State::Streaming || state_ == State::Overflowing) {
        sceneFrozenUs_ = sceneTimeUs(nowUs);
    }
}

void ModuleSimulator::receive(uint8_t command, int64_t nowUs) {
    advance(nowUs);
    switch (command) {
        case 'v': {
            std::vector<uint8_t> reply(kVersionReply.begin(), kVersionReply.end());
            enqueue(item(ModuleEventKind::VersionReply, nowUs, reply.size(), false), reply, false);
            break;
        }
        case 'G':
            if (state_ == State::Idle || state_ == State::Halted) {
                state_ = State::Streaming;
                streamStartUs_ = nowUs;
                sceneAtStartUs_ = sceneFrozenUs_;
                lastCrossingUs_ = nowUs;
                enqueue(item(ModuleEventKind::StreamStarted, nowUs, 0, false), {}, false);
            }
            break;
        case 'g': {
            if (state_ == State::Idle) break;
            freezeScene(nowUs);
            state_ = State::Idle;
            // Keep the rest of a value already begun on the line, and replies; drop the rest.
            std::vector<uint8_t> kept;
            std::deque<Item> keptItems;
            size_t at = head_;
            for (Item& queued : items_) {
                const bool begun = queued.remaining < queued.size;
                const size_t begin = at;
                at += queued.remaining;
                if (queued.streamData && !begun) continue;
                kept.insert(kept.end(), bytes_.begin() + static_cast<ptrdiff_t>(begin),
                            bytes_.begin() + static_cast<ptrdiff_t>(at));
                keptItems.push_back(std::move(queued));
            }
            bytes_ = std::move(kept);
            head_ = 0;
            items_ = std::move(keptItems);
            enqueue(item(ModuleEventKind::StreamStopped, nowUs, 0, false), {}, false);
            break;
        }
        default:
            break;  // the module knows no other command
    }
}

void ModuleSimulator::hostGone(int64_t nowUs) {
    advance(nowUs);
    freezeScene(nowUs);
    state_ = State::Idle;
    bytes_.clear();
    head_ = 0;
    items_.clear();
    offered_ = 0;
    if (sink_) sink_(ModuleEvent{ModuleEventKind::HostGone, nowUs, 0, {}});
}

bool ModuleSimulator::enqueue(Item queued, const std::vector<uint8_t>& bytes, bool mayOverflow) {
    if (mayOverflow && bufferedBytes() + bytes.size() > static_cast<size_t>(options_.bufferBytes)) {
        return false;
    }
    if (head_ > 65536 && head_ * 2 > bytes_.size()) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(head_));
        head_ = 0;
    }
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    items_.push_back(std::move(queued));
    completeFrontItems();
    return true;
}

void ModuleSimulator::beginOverflow(int64_t timeUs, int64_t lost) {
    state_ = State::Overflowing;
    overflowSinceUs_ = timeUs;
    lost_ = lost;
}

void ModuleSimulator::advance(int64_t nowUs) {
    if (state_ != State::Streaming && state_ != State::Overflowing) return;
    const int64_t sceneNow = sceneTimeUs(nowUs);
    auto moduleTime = [&](int64_t sceneUs) { return streamStartUs_ + (sceneUs - sceneAtStartUs_); };
    while (!silent_) {
        const int64_t crossingNs = night_.peek().timeNs;
        const int64_t crossing = crossingNs == kNever ? kNever : crossingNs / 1000;
        const int64_t silence = options_.silentAfterUs >= 0 ? options_.silentAfterUs : kNever;
        const int64_t injection = std::min({nextOverflowUs_, nextMarkerUs_, nextMessageUs_});
        const int64_t first = std::min({crossing, silence, injection});
        if (first > sceneNow) break;
        const int64_t at = moduleTime(first);
        if (first == silence) {
            silent_ = true;
        } else if (first == injection) {
            if (first == nextOverflowUs_) {
                nextOverflowUs_ += options_.overflowEveryUs;
                if (state_ == State::Streaming) beginOverflow(at, 0);
            } else if (first == nextMarkerUs_) {
                nextMarkerUs_ += options_.markerEveryUs;
                scratch_.clear();
                wire::appendMarker(scratch_);
                if (state_ == State::Streaming &&
                    !enqueue(item(ModuleEventKind::Marker, at, scratch_.size(), true), scratch_,
                             true)) {
                    beginOverflow(at, 0);
                }
            } else {
                nextMessageUs_ += options_.messageEveryUs;
                scratch_.clear();
                Item message = item(ModuleEventKind::Message, at, 0, true);
                message.text = options_.messageText;
                if (state_ == State::Streaming &&
                    wire::appendMessage(scratch_, options_.messageText)) {
                    message.size = message.remaining = scratch_.size();
                    if (!enqueue(std::move(message), scratch_, true)) beginOverflow(at, 0);
                }
            }
        } else {
            night_.next();
            const int64_t interval = std::min(at - lastCrossingUs_, kLargestInterval);
            if (interval <= 0) continue;  // at the very moment of 'G': nothing measured yet
            lastCrossingUs_ = at;
            if (state_ == State::Overflowing) {
                ++lost_;
                continue;
            }
            scratch_.clear();
            wire::appendValue(scratch_, static_cast<uint32_t>(interval));
            if (!enqueue(item(ModuleEventKind::Interval, at, scratch_.size(), true, interval),
                         scratch_, true)) {
                beginOverflow(at, 1);
            }
        }
    }
    if (state_ == State::Overflowing &&
        bufferedBytes() + 3 <= static_cast<size_t>(options_.bufferBytes)) {
        freezeScene(nowUs);
        state_ = State::Halted;
        scratch_.clear();
        wire::appendOverflow(scratch_);
        enqueue(item(ModuleEventKind::Overflow, overflowSinceUs_, scratch_.size(), true, lost_),
                scratch_, false);
    }
}

std::span<const uint8_t> ModuleSimulator::lineBytes(int64_t nowUs) {
    const int64_t nowBits = bitsAt(nowUs);
    int64_t t = lineFreeAtBits_;
    size_t count = 0;
    for (const Item& queued : items_) {
        t = std::max(t, bitsAt(queued.timeUs));
        if (t > nowBits) break;
        const auto due = static_cast<size_t>((nowBits - t) / kBitsPerByte + 1);
        const size_t n = std::min(due, queued.remaining);
        count += n;
        t += static_cast<int64_t>(n) * kBitsPerByte;
        if (n < queued.remaining) break;
    }
    offered_ = count;
    return {bytes_.data() + head_, count};
}

void ModuleSimulator::consumed(size_t count, int64_t nowUs) {
    count = std::min(count, offered_);
    const bool full = count < offered_;
    offered_ = 0;
    head_ += count;
    while (count > 0 && !items_.empty()) {
        Item& front = items_.front();
        lineFreeAtBits_ = std::max(lineFreeAtBits_, bitsAt(front.timeUs));
        const size_t n = std::min(count, front.remaining);
        front.remaining -= n;
        count -= n;
        lineFreeAtBits_ += static_cast<int64_t>(n) * kBitsPerByte;
        completeFrontItems();
    }
    // The line does not save up time while the host takes nothing.
    if (full) lineFreeAtBits_ = std::max(lineFreeAtBits_, bitsAt(nowUs));
    if (items_.empty()) {
        bytes_.clear();
        head_ = 0;
    }
}

std::string moduleLogLine(const ModuleEvent& event, int64_t clockOffsetUs) {
    const std::string time = std::to_string(event.timeUs + clockOffsetUs);
    switch (event.kind) {
        case ModuleEventKind::StreamStarted:
            return "S " + time;
        case ModuleEventKind::Interval:
            return "I " + time + ' ' + std::to_string(event.value);
        case ModuleEventKind::Overflow:
            return "O " + time + ' ' + std::to_string(event.value);
        case ModuleEventKind::Marker:
            return "M " + time;
        case ModuleEventKind::Message:
            return "T " + time + ' ' + event.text;
        case ModuleEventKind::StreamStopped:
            return "E " + time;
        case ModuleEventKind::HostGone:
            return "H " + time;
        case ModuleEventKind::VersionReply:
            return "V " + time;
    }
    return "? " + time;
}

void ModuleSimulator::completeFrontItems() {
    while (!items_.empty() && items_.front().remaining == 0) {
        Item done = std::move(items_.front());
        items_.pop_front();
        if (sink_) sink_(ModuleEvent{done.kind, done.timeUs, done.value, std::move(done.text)});
    }
}

}  // namespace acquisition
