#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The station's web page and JSON interface without the network: what the recorder hands to
// the server, who may ask for what, which files may be read, and the answer to each request.
// The socket side lives in the tool; everything here is tested with requests made in memory.
namespace tool::web {

// "PORT" (the loopback address) or "ADDRESS:PORT"; an IPv6 address goes in brackets.
struct ListenAddress {
    std::string host;
    int32_t port = 0;
    bool loopback = true;
};
std::optional<ListenAddress> parseListenAddress(const std::string& text);

// A token must be this long before the page is served off the loopback address.
constexpr size_t kMinTokenLength = 16;
constexpr size_t kMaxHeadBytes = 8 * 1024;  // request line and headers
constexpr size_t kMaxBodyBytes = 4 * 1024;

// Percent-decoding of one path segment or query value; nullopt for a broken escape or a NUL.
std::optional<std::string> percentDecode(std::string_view text);
// Equal without telling by its running time where the first difference lies.
bool sameToken(std::string_view given, std::string_view expected);

// What the page shows of the station, copied out of the recorder's loop.
struct Snapshot {
    std::string state = "waiting";     // waiting, recording, disk-low, searching, stopped
    std::string control = "schedule";  // schedule, record (by hand) or stop (by hand)
    std::string night;                 // YYYY-MM-DD
    int32_t files = 0;
    std::string last;    // the last file written, empty for none
    int64_t lastAt = 0;  // when it was written (UTC seconds), 0 for none
    std::optional<uint64_t> freeMb;
    std::string gps = "off";                         // "LAT,LON", "nofix" or "off"
    std::optional<int64_t> sunset, sunrise;          // UTC seconds
    std::optional<int64_t> windowStart, windowStop;  // the recording window
    int32_t modulePort = 0;
    int64_t startedAt = 0;
    std::optional<int64_t> clockAheadSeconds;  // the machine's clock against the GPS's
};

// One dot of the live view: its time on the recorder's dot clock and its frequency.
struct LiveDot {
    int64_t timeUs = 0;
    int32_t frequencyMilliHz = 0;
};

// Up to `limit` of `dots`, evenly spread, the last always kept.
std::vector<LiveDot> thinDots(const std::vector<LiveDot>& dots, size_t limit);

enum class Control { None, Record, Stop, Schedule };

// The one place the recorder and the server meet. The recorder's side never waits: it only
// tries the lock and keeps what it could not hand over for its next call, so a server thread
// that is slow (or stalled by a client) costs the recorder nothing.
class Board {
  public:
    static constexpr size_t kLogLines = 10;
    static constexpr size_t kKeptDots = 8192;

    // The recorder's side.
    void publish(const Snapshot& snapshot);
    void addLogLine(const std::string& line);
    void offerDots(const std::vector<LiveDot>& dots);
    Control takeControl();

    // The server's side.
    Snapshot snapshot() const;
    std::vector<std::string> logLines() const;
    void requestControl(Control control);
    // Dots after `cursor` (the count of dots offered so far that the caller has seen), waiting
    // up to `waitMs` for some; `cursor` moves on. A reader that fell behind the kept dots
    // skips to the oldest kept.
    std::vector<LiveDot> dotsAfter(uint64_t& cursor, int32_t waitMs);
    uint64_t dotCount() const;
    // Wakes every reader waiting for dots (the server is going down).
    void wakeReaders();

  private:
    void flushLocked();

    mutable std::mutex mutex_;
    std::condition_variable dotsArrived_;
    Snapshot snapshot_;
    std::deque<std::string> log_;
    std::deque<LiveDot> dots_;
    uint64_t dotTotal_ = 0;
    std::atomic<int> control_{0};

    // Held by the recorder's side only, outside the lock.
    std::optional<Snapshot> pendingSnapshot_;
    std::vector<std::string> pendingLog_;
    std::vector<LiveDot> pendingDots_;
};

// Wrong tokens counted per address: after five in a minute the address is refused for a
// minute. Old entries are dropped so that many addresses cannot grow it without bound.
class FailureLimit {
  public:
    static constexpr int kFailures = 5;
    static constexpr int64_t kWindowMs = 60000;

    bool blocked(const std::string& address, int64_t nowMs);
    void fail(const std::string& address, int64_t nowMs);

  private:
    struct Entry {
        std::deque<int64_t> failures;
        int64_t blockedUntil = 0;
    };
    std::map<std::string, Entry> entries_;
};

struct Request {
    std::string method;
    std::string target;  // as sent: path and query, still percent-encoded
    std::string remote;  // the client's address
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    size_t headBytes = 0;  // request line and headers as they came
    std::string header(const std::string& name) const;
};

struct Response {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool live = false;  // the caller streams /api/live itself
};

// A file's numbers for the list of recent passes.
struct FileSummary {
    std::string start;  // the recorder's local clock at its start, empty when not kept
    double durationMs = 0;
    int32_t calls = 0;
    std::optional<double> medianFcharKhz;
};

// The work on sequence files the router leaves to the tool: measuring them and drawing them.
class FileWork {
  public:
    virtual ~FileWork() = default;
    virtual std::optional<FileSummary> summary(const std::string& path) = 0;
    // The rows of `calls --json` as a JSON array.
    virtual std::optional<std::string> callsJson(const std::string& path) = 0;
    // The PNG picture, made on first asking and kept.
    virtual std::optional<std::string> picture(const std::string& path) = 0;
};

// A file of a night folder, when `name` (already decoded) is one the folder lists and the
// path stays inside it; nullopt for anything else.
std::optional<std::string> nightFile(const std::string& base, const std::string& night,
                                     const std::string& name);
bool isNightName(const std::string& night);

// Answers every request: the page, the login, the JSON interface and the controls.
class Router {
  public:
    static constexpr const char* kCookie = "zelkora_session";
    static constexpr size_t kMaxSessions = 64;
    static constexpr size_t kRecentFiles = 20;

    // `base` holds the nightly folders (ends in '/'); an empty `token` leaves everything open.
    Router(Board& board, FileWork& work, std::string base, std::string token, std::string page,
           std::string loginPage);

    Response handle(const Request& request, int64_t nowMs);

  private:
    enum class Access { Allowed, Unauthorized, TooMany };
    Access access(const Request& request, int64_t nowMs);
    std::optional<std::string> otherSite(const Request& request) const;
    Response login(const Request& request, int64_t nowMs);
    Response api(const Request& request, const std::vector<std::string>& parts,
                 const std::map<std::string, std::string>& query, int64_t nowMs);
    Response fileRequest(const std::vector<std::string>& parts, const std::string& night);
    std::string statusJson(int64_t nowMs) const;
    std::string filesJson(const std::string& night, size_t newest, const std::string& before);
    std::string nightsJson() const;
    std::string activityJson(const std::string& night, int64_t nowMs) const;
    std::string newSession();

    Board& board_;
    FileWork& work_;
    std::string base_;
    std::string token_;
    std::string page_;
    std::string loginPage_;
    std::mutex mutex_;  // sessions and failures: requests come from several threads
    std::deque<std::string> sessions_;
    FailureLimit failures_;
};

}  // namespace tool::web
