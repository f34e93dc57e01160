#pragma once
#include "platform/SerialLine.h"

namespace platform {

// A serial device through termios and poll(). The descriptor is non-blocking; every wait
// goes through poll(), which also reports a hung-up line.
class PosixSerialLine final : public SerialLine {
  public:
    // Takes ownership of `fd`, an open, exclusively held terminal.
    explicit PosixSerialLine(int fd);
    ~PosixSerialLine() override;
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    SerialConfig configure(int32_t baud) override;
    SerialWait waitReadable(int32_t timeoutMs) override;
    int32_t readAvailable(std::span<uint8_t> buffer) override;
    int32_t writeByte(uint8_t byte, int32_t timeoutMs) override;
    void purge() override;

    // Opens and locks `devicePath`; -1 on failure, with `inUse` set when another holder's
    // exclusive mode or lock was the reason.
    static int openExclusive(const std::string& devicePath, bool* inUse = nullptr);

  private:
    int fd_;
};

}  // namespace platform
