#include "tools/zelkora-tool/ConnectionWatch.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdlib>

#include "platform/ProcessPriority.h"

namespace tool::web {

namespace {

// "address port" of the peer of a connected socket whose local port is `port`; empty for
// anything else (a file, the listening socket, another socket).
std::string peerOn(int fd, int port) {
    sockaddr_storage local{}, peer{};
    socklen_t size = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) return {};
    int localPort = 0;
    if (local.ss_family == AF_INET) {
        localPort = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    } else if (local.ss_family == AF_INET6) {
        localPort = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    }
    size = sizeof peer;
    if (localPort != port || ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
        return {};
    }
    char text[INET6_ADDRSTRLEN] = {};
    int peerPort = 0;
    if (peer.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<sockaddr_in*>(&peer);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        peerPort = ntohs(a->sin_port);
    } else {
        const auto* a = reinterpret_cast<sockaddr_in6*>(&peer);
        ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        peerPort = ntohs(a->sin6_port);
    }
    return std::string(text) + " " + std::to_string(peerPort);
}

std::optional<uint64_t> bytesReceived(int fd) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
        return std::nullopt;
    }
    return info.tcpi_bytes_received;
}

}  // namespace

ConnectionWatch::ConnectionWatch(int port) : port_(port), thread_([this] { watch(); }) {}

ConnectionWatch::~ConnectionWatch() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    thread_.join();
}

ConnectionWatch::Watched ConnectionWatch::adopt() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return {};
    Watched found;
    std::lock_guard lock(mutex_);
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(dir)) continue;
        struct stat st {};
        if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        const std::string peer = peerOn(static_cast<int>(fd), port_);
        if (peer.empty()) continue;
        // A number the library closed a moment ago may already be a new connection's.
        const auto it = connections_.find(static_cast<int>(fd));
        if (it != connections_.end() && it->second.peer == peer) continue;
        found = {static_cast<int>(fd), ++lastId_};
        connections_[found.fd] = Connection{found.id, peer, 0, std::nullopt};
        break;
    }
    ::closedir(dir);
    return found;
}

void ConnectionWatch::requestDone(const Watched& c) {
    const auto received = bytesReceived(c.fd);
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(c.fd);
    if (it == connections_.end() || it->second.id != c.id || !received) return;
    it->second.answered = *received;
    it->second.pendingSince.reset();
}

void ConnectionWatch::closed(const Watched& c) {
    std::lock_guard lock(mutex_);
    const auto it = connections_.find(c.fd);
    if (it != connections_.end() && it->second.id == c.id) connections_.erase(it);
}

void ConnectionWatch::shutDownAll() {
    std::lock_guard lock(mutex_);
    for (const auto& [fd, c] : connections_) {
        if (peerOn(fd, port_) == c.peer) ::shutdown(fd, SHUT_RDWR);
    }
}

void ConnectionWatch::watch() {
    ::pthread_setname_np(::pthread_self(), "web");
    platform::yieldToOtherWork();  // the recorder comes first, even under a flood
    std::unique_lock lock(mutex_);
    while (!stop_.wait_for(lock, kLookEvery, [this] { return stopping_; })) {
        const auto now = std::chrono::steady_clock::now();
        for (auto& [fd, c] : connections_) {
            const auto received = bytesReceived(fd);
            if (!received || *received <= c.answered) {
                c.pendingSince.reset();
                continue;
            }
            if (!c.pendingSince) c.pendingSince = now;
            const bool tooMuch = *received - c.answered > kMaxPendingBytes;
            const bool tooLong = now - *c.pendingSince > std::chrono::seconds(kHeadSeconds);
            // Only the connection itself: the number may have been reused since.
            if ((tooMuch || tooLong) && peerOn(fd, port_) == c.peer) ::shutdown(fd, SHUT_RDWR);
        }
    }
}

}  // namespace tool::web
