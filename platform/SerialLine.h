#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

// How a wait for input ended.
enum class SerialWait {
    Ready,    // bytes can be read now
    Timeout,  // nothing arrived in the time given
    HungUp,   // the other end hung up or the device went away; the time given has been slept
              // out, so a caller that treats this as silence does not spin
    Error,    // the line failed; the time given has been slept out as well
};

// How configuring a line ended; the two failures mirror reading and writing the settings.
enum class SerialConfig { Ok, ReadSettingsFailed, WriteSettingsFailed };

// One open serial device, exclusively ours until it is destroyed. Used by one thread at a
// time. Time-outs are in milliseconds; a negative time-out waits without limit.
class SerialLine {
  public:
    virtual ~SerialLine() = default;

    // Raw 8-N-1 at `baud` (any standard rate), no flow control, DTR and RTS inactive; what
    // arrived before is thrown away.
    virtual SerialConfig configure(int32_t baud) = 0;

    // Waits until at least one byte can be read.
    virtual SerialWait waitReadable(int32_t timeoutMs) = 0;

    // Reads what has arrived, without waiting: the count (0 when nothing is there), or -1
    // when the line failed.
    virtual int32_t readAvailable(std::span<uint8_t> buffer) = 0;

    // Writes one byte, waiting at most `timeoutMs` for room: 1 written, 0 timed out, -1 failed.
    virtual int32_t writeByte(uint8_t byte, int32_t timeoutMs) = 0;

    // Throws away everything received and not yet read, and everything not yet sent.
    virtual void purge() = 0;
};

// Opens `devicePath` for reading and writing, exclusively (no other open of the device
// succeeds while it is held, in this process or any other). Null when the device does not
// exist, is not a terminal, or is held by someone else; then `inUse`, when given, says
// whether it was the last.
std::unique_ptr<SerialLine> openSerialLine(const std::string& devicePath, bool* inUse = nullptr);

// True when `devicePath` could be opened exclusively right now (it is opened and closed).
bool canOpenSerialLine(const std::string& devicePath);

}  // namespace platform
