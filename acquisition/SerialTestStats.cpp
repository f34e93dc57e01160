#include "acquisition/SerialTestStats.h"

#include <cstdlib>

namespace acquisition {

namespace {

// A blank before the last three digits of the microseconds, for reading them in thousands.
std::string withMicroBlank(std::string text) {
    if (text.size() >= 3) text.insert(text.size() - 3, " ");
    return text;
}

}  // namespace

void SerialTestStats::Reset() {
    *this = SerialTestStats();
}

void SerialTestStats::Begin(JulianTime startClock, uint64_t startTickMs) {
    Reset();
    startClock_ = startClock;
    startTickMs_ = startTickMs;
    transitionClock_ = startClock;
    realClock_ = startClock;
}

void SerialTestStats::CountInterval(int64_t intervalUs, uint64_t tickMs) {
    const int64_t elapsedMs = static_cast<int64_t>(tickMs - startTickMs_);
    const JulianTime realNow = startClock_ + elapsedMs * JulianTime::kMillisecond;
    ++transitions_;
    transitionClock_ += intervalUs;
    if (first_) {
        first_ = false;
    } else {
        // Against the device clock of the previous interval: this one's bytes came after
        // that reading.
        JulianTime drift = transitionClock_ - realClock_ - badTime_;
        if (afterOverflow_) {
            // The offset has to hold the time the module stood still, which lies between
            // the previous reading and this one: taken against the previous reading, the
            // whole stop would count as drift at every interval after it.
            overflowOffset_ = transitionClock_ - realNow - badTime_;
            afterOverflow_ = false;
            drift = JulianTime();
        } else {
            drift -= overflowOffset_;
        }
        if (drift > JulianTime(kBadDriftUs) || drift < JulianTime(-kBadDriftUs)) {
            badTime_ += intervalUs;
            ++bad_;
        }
    }
    realClock_ = realNow;
}

void SerialTestStats::OverflowEnded() {
    ++overflows_;
    afterOverflow_ = true;
}

SerialTestStats::Texts SerialTestStats::texts() const {
    return Texts{WithThousands(transitions_),  ClockText(transitionClock_),
                 ClockText(realClock_),        WithThousands(bad_),
                 DurationText(badTime_),       WithThousands(overflows_),
                 DurationText(overflowOffset_)};
}

std::string SerialTestStats::WithThousands(int64_t count) {
    const std::string digits = std::to_string(count);
    const size_t sign = count < 0 ? 1 : 0;
    std::string out = digits.substr(0, sign);
    for (size_t i = sign; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string SerialTestStats::ClockText(JulianTime t) {
    return withMicroBlank(t.format("hh:mm:ssdddddd"));
}

std::string SerialTestStats::DurationText(JulianTime t) {
    if (!t.isValid()) return {};
    const int64_t v = t.value();
    // Unsigned, so that the most negative value has a magnitude as well.
    const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const auto hours = magnitude / static_cast<uint64_t>(JulianTime::kHour);
    const JulianTime rest(
        static_cast<int64_t>(magnitude % static_cast<uint64_t>(JulianTime::kHour)));
    std::string text =
        (v < 0 ? "-" : "") + std::to_string(hours) + "h  " + rest.format("m@  sdddddd");
    std::string out;
    for (char c : text) {
        if (c == '@') {
            out += 'm';
        } else if (c == '.') {
            out += "s ";
        } else {
            out += c;
        }
    }
    return withMicroBlank(std::move(out));
}

}  // namespace acquisition
