#include "platform/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

void sleepMs(int32_t ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    ::nanosleep(&ts, nullptr);  // a signal may end it early, which callers treat as a time-out
}

bool masterHungUp(int fd) {
    pollfd p{fd, 0, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

// While nobody has the line open there is nothing to wait for but the host's return, which
// must be seen at once: a module answers a 'v' sent right after a port is reopened. So the
// time-out is slept in short slices, ending early when the hang-up clears. Returns true when
// the host is back.
bool waitOutHangUp(int fd, int32_t timeoutMs) {
    constexpr int32_t kSliceMs = 2;
    for (int32_t waited = 0; waited < timeoutMs; waited += kSliceMs) {
        sleepMs(std::min(kSliceMs, timeoutMs - waited));
        if (!masterHungUp(fd)) return true;
    }
    return false;
}

}  // namespace

struct PseudoTerminal::Impl {
    int master = -1;
};

PseudoTerminal::PseudoTerminal() : impl_(std::make_unique<Impl>()) {}

PseudoTerminal::~PseudoTerminal() {
    close();
}

bool PseudoTerminal::open(std::string* error) {
    close();
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        close();
        return false;
    };
    impl_->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (impl_->master < 0) return fail("posix_openpt");
    if (::grantpt(impl_->master) != 0) return fail("grantpt");
    if (::unlockpt(impl_->master) != 0) return fail("unlockpt");
    char name[128];
    if (::ptsname_r(impl_->master, name, sizeof name) != 0) return fail("ptsname_r");
    // The master and the slave share one set of terminal settings, so the slave is made raw
    // from here without opening it: holding the slave open ourselves would hide the host's
    // hang-up.
    termios t{};
    if (::tcgetattr(impl_->master, &t) != 0) return fail("tcgetattr");
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    if (::tcsetattr(impl_->master, TCSANOW, &t) != 0) return fail("tcsetattr");
    slavePath_ = name;
    return true;
}

void PseudoTerminal::close() {
    if (impl_->master >= 0) ::close(impl_->master);
    impl_->master = -1;
    slavePath_.clear();
}

bool PseudoTerminal::isOpen() const {
    return impl_->master >= 0;
}

bool PseudoTerminal::hungUp() const {
    return impl_->master >= 0 && masterHungUp(impl_->master);
}

int32_t PseudoTerminal::read(std::span<uint8_t> buffer, int32_t timeoutMs) {
    if (impl_->master < 0) return kFailed;
    pollfd p{impl_->master, POLLIN, 0};
    int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0) return errno == EINTR ? 0 : kFailed;
    if (ready == 0) return 0;
    if (p.revents & POLLIN) {
        ssize_t n = ::read(impl_->master, buffer.data(), buffer.size());
        if (n > 0) return static_cast<int32_t>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        // EIO: the host closed the slave after its last bytes were read.
    }
    if (p.revents & (POLLHUP | POLLIN)) {
        return waitOutHangUp(impl_->master, timeoutMs) ? 0 : kHungUp;
    }
    return kFailed;
}

int32_t PseudoTerminal::write(std::span<const uint8_t> bytes, int32_t timeoutMs) {
    if (impl_->master < 0) return kFailed;
    if (bytes.empty()) return 0;
    pollfd p{impl_->master, POLLOUT, 0};
    int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0) return errno == EINTR ? 0 : kFailed;
    if (p.revents & POLLHUP) {
        return waitOutHangUp(impl_->master, timeoutMs) ? 0 : kHungUp;
    }
    if (ready == 0) return 0;
    ssize_t n = ::write(impl_->master, bytes.data(), bytes.size());
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EAGAIN || errno == EINTR) return 0;
    if (errno == EIO) return kHungUp;
    return kFailed;
}

}  // namespace platform
