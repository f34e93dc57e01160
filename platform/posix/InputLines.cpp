#include "platform/InputLines.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {
std::string pending;
bool closed = false;

bool takeLine(std::string& line) {
    const auto end = pending.find('\n');
    if (end == std::string::npos) return false;
    line = pending.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pending.erase(0, end + 1);
    return true;
}
}  // namespace

InputLine readInputLine(std::string& line, int timeoutMs) {
    if (takeLine(line)) return InputLine::Line;
    if (closed) {
        if (pending.empty()) return InputLine::Closed;
        line.swap(pending);
        pending.clear();
        return InputLine::Line;
    }
    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0) return InputLine::Timeout;
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return InputLine::Timeout;
    if (n <= 0) {
        closed = true;
        return readInputLine(line, 0);
    }
    pending.append(buffer, static_cast<size_t>(n));
    return takeLine(line) ? InputLine::Line : InputLine::Timeout;
}

}  // namespace platform
