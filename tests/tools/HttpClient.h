#pragma once
// A plain HTTP/1.1 client on a socket, for sending what no library would: traversals as
// typed, oversized heads, idle connections.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

namespace testing_support {

// A port free on the loopback address a moment ago.
inline int freeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
}

class HttpConnection {
  public:
    explicit HttpConnection(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HttpConnection() {
        if (fd_ >= 0) ::close(fd_);
    }
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool connected() const { return fd_ >= 0; }

    bool send(const std::string& raw) {
        size_t sent = 0;
        while (sent < raw.size()) {
            const ssize_t n = ::send(fd_, raw.data() + sent, raw.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    // Sends `chunk` again and again for `ms` or until the peer stops taking it (an error, or
    // nothing taken for a second); the bytes it took.
    size_t sendEndlessly(const std::string& chunk, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        size_t sent = 0;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0 || (p.revents & (POLLERR | POLLHUP))) break;
            const ssize_t n = ::send(fd_, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN) break;
            if (n > 0) sent += static_cast<size_t>(n);
        }
        return sent;
    }

    // Reads until the end of the first whole response (by its Content-Length), the peer's
    // close, or `ms` have passed. Returns what came.
    std::string receive(int ms) {
        std::string in;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!closed_ && !whole(in) && std::chrono::steady_clock::now() < end) {
            in += receiveSome(100);
        }
        return in;
    }

    // What comes first within `ms` (a stream's next piece), empty when nothing does or the
    // peer closed.
    std::string receiveSome(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return {};
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed_ = true;
            return {};
        }
        return std::string(buffer, static_cast<size_t>(n));
    }

    // True when the peer closes the connection within `ms`.
    bool closedWithin(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!closed_ && std::chrono::steady_clock::now() < end) receiveSome(100);
        return closed_;
    }

  private:
    // A head and as much body as its Content-Length says.
    static bool whole(const std::string& in) {
        const size_t head = in.find("\r\n\r\n");
        if (head == std::string::npos) return false;
        const std::string h = in.substr(0, head);
        const char* length = ::strcasestr(h.c_str(), "content-length:");
        return length && in.size() >= head + 4 + std::strtoul(length + 15, nullptr, 10);
    }

    int fd_ = -1;
    bool closed_ = false;
};

// One request on a connection of its own; the status (0 when none came) and the whole response.
inline int request(int port, const std::string& raw, std::string* response = nullptr,
                   int ms = 10000) {
    HttpConnection c(port);
    if (!c.connected() || !c.send(raw)) return 0;
    const std::string in = c.receive(ms);
    if (response) *response = in;
    return in.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(in.c_str() + 9) : 0;
}

inline std::string get(const std::string& target, const std::string& headers = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

}  // namespace testing_support
