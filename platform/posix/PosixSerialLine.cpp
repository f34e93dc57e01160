#include "platform/posix/PosixSerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

namespace {

// A wait without limit on a hung-up line looks again this often, so that a line that comes
// back (a pseudo-terminal reopened by its owner) is noticed.
constexpr int32_t kHungUpRecheckMs = 100;

bool speedFor(int32_t baud, speed_t& speed) {
    switch (baud) {
        // clang-format off
        case 50: speed = B50; return true;
        case 75: speed = B75; return true;
        case 110: speed = B110; return true;
        case 134: speed = B134; return true;
        case 150: speed = B150; return true;
        case 200: speed = B200; return true;
        case 300: speed = B300; return true;
        case 600: speed = B600; return true;
        case 1200: speed = B1200; return true;
        case 1800: speed = B1800; return true;
        case 2400: speed = B2400; return true;
        case 4800: speed = B4800; return true;
        case 9600: speed = B9600; return true;
        case 19200: speed = B19200; return true;
        case 38400: speed = B38400; return true;
        case 57600: speed = B57600; return true;
        case 115200: speed = B115200; return true;
        case 230400: speed = B230400; return true;
        case 460800: speed = B460800; return true;
        case 500000: speed = B500000; return true;
        case 576000: speed = B576000; return true;
        case 921600: speed = B921600; return true;
        case 1000000: speed = B1000000; return true;
        case 1152000: speed = B1152000; return true;
        case 1500000: speed = B1500000; return true;
        case 2000000: speed = B2000000; return true;
        case 2500000: speed = B2500000; return true;
        case 3000000: speed = B3000000; return true;
        case 3500000: speed = B3500000; return true;
        case 4000000: speed = B4000000; return true;
        // clang-format on
        default:
            return false;
    }
}

void sleepFor(int32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int PosixSerialLine::openExclusive(const std::string& devicePath, bool* inUse) {
    if (inUse) *inUse = false;
    // Non-blocking, so that a port without carrier does not hold up the open.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // A terminal in exclusive mode refuses every further open with EBUSY.
    if (fd < 0) {
        if (inUse) *inUse = errno == EBUSY;
        return -1;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (inUse) *inUse = errno == EWOULDBLOCK;
        ::close(fd);
        return -1;
    }
    // Other programs that do not use advisory locks are kept out by the terminal itself.
    ::ioctl(fd, TIOCEXCL);
    return fd;
}

PosixSerialLine::PosixSerialLine(int fd) : fd_(fd) {}

PosixSerialLine::~PosixSerialLine() {
    if (fd_ >= 0) {
        // The exclusive mode outlives this descriptor while others hold the terminal open.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
}

SerialConfig PosixSerialLine::configure(int32_t baud) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return SerialConfig::ReadSettingsFailed;
    speed_t speed{};
    if (!speedFor(baud, speed)) return SerialConfig::WriteSettingsFailed;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return SerialConfig::WriteSettingsFailed;
    }
    // Both modem lines inactive; a pseudo-terminal has none (ENOTTY), which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        return SerialConfig::WriteSettingsFailed;
    }
    // A freshly opened port starts empty, as real hardware does; a pseudo-terminal would
    // otherwise hand over what reached it while nobody had it open.
    ::tcflush(fd_, TCIOFLUSH);
    return SerialConfig::Ok;
}

SerialWait PosixSerialLine::waitReadable(int32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (;;) {
        int32_t wait = timeoutMs;
        if (timeoutMs >= 0) {
            const auto spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            wait = spent >= timeoutMs ? 0 : timeoutMs - static_cast<int32_t>(spent);
        }
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0) {
            if (errno == EINTR) continue;
            sleepFor(wait < 0 ? kHungUpRecheckMs : wait);
            return SerialWait::Error;
        }
        if (r == 0) return SerialWait::Timeout;
        if (p.revents & POLLNVAL) {
            sleepFor(wait < 0 ? kHungUpRecheckMs : wait);
            return SerialWait::Error;
        }
        // A line may report hang-up with bytes still waiting; those are read first.
        if (p.revents & POLLIN) {
            int pending = 0;
            if (!(p.revents & (POLLHUP | POLLERR)) ||
                (::ioctl(fd_, FIONREAD, &pending) == 0 && pending > 0)) {
                return SerialWait::Ready;
            }
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            sleepFor(wait < 0 ? kHungUpRecheckMs : wait);
            return SerialWait::HungUp;
        }
        return SerialWait::Ready;
    }
}

int32_t PosixSerialLine::readAvailable(std::span<uint8_t> buffer) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0) return static_cast<int32_t>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

int32_t PosixSerialLine::writeByte(uint8_t byte, int32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (;;) {
        const ssize_t n = ::write(fd_, &byte, 1);
        if (n == 1) return 1;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        int32_t wait = timeoutMs;
        if (timeoutMs >= 0) {
            const auto spent =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            if (spent >= timeoutMs) return 0;
            wait = timeoutMs - static_cast<int32_t>(spent);
        }
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR) return -1;
        if (r == 0) return 0;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return -1;
        // On POLLHUP the next write() tells whether the line can still take bytes.
    }
}

void PosixSerialLine::purge() {
    ::tcflush(fd_, TCIOFLUSH);
}

std::unique_ptr<SerialLine> openSerialLine(const std::string& devicePath, bool* inUse) {
    const int fd = PosixSerialLine::openExclusive(devicePath, inUse);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixSerialLine>(fd);
}

bool canOpenSerialLine(const std::string& devicePath) {
    const int fd = PosixSerialLine::openExclusive(devicePath);
    if (fd < 0) return false;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return true;
}

}  // namespace platform
