#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

// A pseudo-terminal pair seen from the master side: the program that plays a device (a
// module or GPS simulator) holds the master, and the program under test opens the slave as
// if it were a serial port. The slave is raw: 8 data bits, no echo, no line editing, no
// translation of any byte. A pty does not pace the data at any baud rate and holds only about
// 20 KiB before a writer must wait, so a simulator paces itself.
//
// Before the slave has been opened the master simply waits; once the host has opened it and
// closed it again the pair is "hung up" until the host opens it anew. Used by one thread.
class PseudoTerminal {
  public:
    static constexpr int32_t kHungUp = -1;  // read/write: the host side is closed
    static constexpr int32_t kFailed = -2;  // read/write: the master failed

    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a new pair (closing any previous one). False with `error` set on failure.
    bool open(std::string* error = nullptr);
    void close();
    bool isOpen() const;

    // The slave's device path, e.g. /dev/pts/7 (empty when not open).
    const std::string& slavePath() const { return slavePath_; }

    // Waits at most `timeoutMs` for bytes from the host and reads what has arrived: the
    // count, 0 when nothing came in time (or a signal ended the wait), kHungUp when the host
    // side is closed (after sleeping the time out, so a loop that retries does not spin), or
    // kFailed.
    int32_t read(std::span<uint8_t> buffer, int32_t timeoutMs);

    // Writes as much of `bytes` as fits, waiting at most `timeoutMs` for room when nothing
    // fits at once: the count written (0 when the pty stayed full), kHungUp (after sleeping
    // the time out, as read does) or kFailed. While the host side is closed the bytes are not
    // written: they would wait in the pty and greet the next program that opens it.
    int32_t write(std::span<const uint8_t> bytes, int32_t timeoutMs);

    // True when the host has closed the slave (and not reopened it).
    bool hungUp() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string slavePath_;
};

}  // namespace platform
