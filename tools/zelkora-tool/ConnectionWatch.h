#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tool::web {

// Watches the web server's connections from outside the HTTP library, which reads a
// request's head for as long as it keeps coming: a client sending headers without end would
// fill the station's memory and end the recording with it. A connection that has sent more
// than kMaxPendingBytes since its last whole request, or has been sending one request for
// longer than kHeadSeconds, is shut down. The kernel's count of the bytes a connection
// received tells how much came, whatever the library did with it.
class ConnectionWatch {
  public:
    static constexpr uint64_t kMaxPendingBytes = 16 * 1024;  // a head of 8 KiB and a body of 4
    static constexpr int kHeadSeconds = 30;
    static constexpr auto kLookEvery = std::chrono::milliseconds(20);

    explicit ConnectionWatch(int port);
    ~ConnectionWatch();
    ConnectionWatch(const ConnectionWatch&) = delete;
    ConnectionWatch& operator=(const ConnectionWatch&) = delete;

    // One connection watched: its socket, and a number telling it from a later connection
    // that gets the same socket number once this one is closed.
    struct Watched {
        int fd = -1;
        uint64_t id = 0;
    };

    // On the thread that accepted a connection, before the next accept: finds its socket
    // (the one connection to the server's port not yet watched); fd -1 when none is found.
    Watched adopt();
    // A whole request came: what came so far is accounted for.
    void requestDone(const Watched& c);
    // The library has closed the connection.
    void closed(const Watched& c);
    // Shuts every watched connection down: the server is stopping, and the library would
    // otherwise wait out each idle client's keep-alive.
    void shutDownAll();

  private:
    struct Connection {
        uint64_t id = 0;
        std::string peer;
        uint64_t answered = 0;  // bytes received up to the last whole request
        std::optional<std::chrono::steady_clock::time_point> pendingSince;
    };
    void watch();

    const int port_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::map<int, Connection> connections_;
    uint64_t lastId_ = 0;
    std::thread thread_;
};

}  // namespace tool::web
