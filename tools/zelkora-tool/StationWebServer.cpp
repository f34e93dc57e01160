#include "tools/zelkora-tool/StationWebServer.h"

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <vector>

#include "display/CallMeasurements.h"
#include "platform/FreeSpace.h"
#include "platform/ProcessPriority.h"
#include "tools/zelkora-tool/CallRows.h"
#include "tools/zelkora-tool/ConnectionWatch.h"
#include "tools/zelkora-tool/SequenceFileInput.h"

extern char** environ;

namespace tool::web {

namespace fs = std::filesystem;

// --- StationFiles ---

StationFiles::StationFiles(ShownDots shown, std::string pictureDir, uint64_t minFreeBytes)
    : shown_(shown), pictureDir_(std::move(pictureDir)), minFreeBytes_(minFreeBytes) {}

namespace {

std::vector<CallMeasurements::Call> callsOf(
    const LoadedSequence& loaded, const ShownDots& shown,
    CallMeasurements::Detail detail = CallMeasurements::Detail::kAll) {
    const DotStore& d = *loaded.dots;
    return CallMeasurements::Find(d.times, d.frequency, d.count, shown.level, shown.fminMhz,
                                  shown.fmaxMhz, false, detail);
}

// Runs this program's `render` on `path`, writing `out`; true when it wrote the picture.
bool renderPicture(const std::string& path, const std::string& out) {
    std::vector<std::string> args{"zelkora-tool", "render", path, "--png", out,
                                  "--size",       "640x320"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<FileSummary> StationFiles::summary(const std::string& path) {
    {
        std::lock_guard lock(summaryMutex_);
        if (const auto it = summaries_.find(path); it != summaries_.end()) return it->second;
    }
    LoadedSequence loaded;
    if (loadSequenceFile(path, loaded) != 0) return std::nullopt;
    FileSummary s;
    s.start = startTimeText(loaded.header, 0);
    const DotStore& d = *loaded.dots;
    s.durationMs = d.count > 0 ? d.times[static_cast<size_t>(d.count - 1)] / 1000.0 : 0.0;
    // The count and the median fchar need no knees.
    const auto calls = callsOf(loaded, shown_, CallMeasurements::Detail::kCharacteristic);
    s.calls = static_cast<int32_t>(calls.size());
    if (!calls.empty()) s.medianFcharKhz = CallMeasurements::MedianFchar(calls);
    std::lock_guard lock(summaryMutex_);
    // Months of nights would add up; the recent passes are what is asked for again.
    if (summaries_.size() >= kKeptSummaries) summaries_.clear();
    summaries_[path] = s;
    return s;
}

std::optional<std::string> StationFiles::callsJson(const std::string& path) {
    LoadedSequence loaded;
    if (loadSequenceFile(path, loaded) != 0) return std::nullopt;
    const auto calls = callsOf(loaded, shown_);
    const std::string name = fs::path(path).filename().string();
    std::string out = "[";
    for (size_t k = 0; k < calls.size(); ++k) {
        std::string row =
            callRow(name, k + 1, startTimeText(loaded.header, calls[k].startUs), calls[k], true);
        row.pop_back();  // its line break
        out += (k ? "," : "") + row;
    }
    return out + "]";
}

std::optional<std::string> StationFiles::picture(const std::string& path) {
    const fs::path file(path);
    const fs::path folder = fs::path(pictureDir_) / file.parent_path().filename();
    const std::string out = (folder / (file.filename().string() + ".png")).string();
    std::lock_guard lock(pictureMutex_);
    std::error_code ec;
    if (fs::is_regular_file(out, ec)) return out;
    const auto free = platform::freeBytes(file.parent_path().string());
    if (free && *free < minFreeBytes_) return std::nullopt;
    fs::create_directories(folder, ec);
    if (!renderPicture(path, out)) return std::nullopt;
    return out;
}

// --- the HTTP side ---

namespace {

// Set on the thread that answers connections over the limit.
thread_local bool tRefusing = false;
// The connection the thread serves (fd -1 when it was not found).
thread_local ConnectionWatch::Watched tConnection;

// At most `limit` connections are served (or wait for a worker) at a time; the rest go to a
// thread of their own that answers 503 and closes them, since the library hands over a
// connection only as a task to run.
class ConnectionPool : public httplib::TaskQueue {
  public:
    ConnectionPool(size_t limit, ConnectionWatch& watch) : limit_(limit), watch_(watch) {
        for (size_t i = 0; i < limit; ++i) workers_.emplace_back([this] { work(false); });
        workers_.emplace_back([this] { work(true); });
    }
    ~ConnectionPool() override = default;

    // Called on the accepting thread right after each accept.
    void enqueue(std::function<void()> fn) override {
        Job job{std::move(fn), watch_.adopt()};
        {
            std::lock_guard lock(mutex_);
            if (busy_ + jobs_.size() < limit_) {
                jobs_.push_back(std::move(job));
            } else {
                refused_.push_back(std::move(job));
            }
        }
        wake_.notify_all();
    }

    void shutdown() override {
        {
            std::lock_guard lock(mutex_);
            shutdown_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

  private:
    struct Job {
        std::function<void()> fn;
        ConnectionWatch::Watched watched;
    };

    void work(bool refusing) {
        // Named, so that the web's share of the processor can be told from the recorder's.
        ::pthread_setname_np(::pthread_self(), "web");
        platform::yieldToOtherWork();  // the recorder comes first, even under a flood
        tRefusing = refusing;
        std::deque<Job>& queue = refusing ? refused_ : jobs_;
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [&] { return shutdown_ || !queue.empty(); });
            // Queued connections are still run when shutting down: the task closes its socket.
            if (queue.empty()) return;
            Job job = std::move(queue.front());
            queue.pop_front();
            if (!refusing) ++busy_;
            lock.unlock();
            tConnection = job.watched;
            job.fn();  // closes the socket
            watch_.closed(job.watched);
            lock.lock();
            if (!refusing) --busy_;
        }
    }

    const size_t limit_;
    ConnectionWatch& watch_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_, refused_;
    size_t busy_ = 0;
    bool shutdown_ = false;
    std::vector<std::thread> workers_;
};

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string dotsEvent(const std::vector<LiveDot>& dots) {
    std::string out = "data: {\"dots\":[";
    char text[64];
    for (size_t i = 0; i < dots.size(); ++i) {
        std::snprintf(text, sizeof text, "%s[%.1f,%.1f]", i ? "," : "", dots[i].timeUs / 1000.0,
                      dots[i].frequencyMilliHz / 1e6);
        out += text;
    }
    return out + "]}\n\n";
}

}  // namespace

struct StationWebServer::Impl {
    Router& router;
    Board& board;
    httplib::Server server;
    std::unique_ptr<ConnectionWatch> watch;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<int> liveClients{0};

    Impl(Router& r, Board& b) : router(r), board(b) {}

    void serve(const httplib::Request& in, httplib::Response& out) {
        Request request;
        request.method = in.method;
        request.target = in.target;
        request.remote = in.remote_addr;
        request.body = in.body;
        request.headBytes = in.method.size() + in.target.size() + in.version.size() + 4;
        for (const auto& [key, value] : in.headers) {
            // The library adds these itself; they were not sent.
            if (key == "REMOTE_ADDR" || key == "REMOTE_PORT" || key == "LOCAL_ADDR" ||
                key == "LOCAL_PORT") {
                continue;
            }
            request.headers.emplace_back(key, value);
            request.headBytes += key.size() + value.size() + 4;
        }
        Response r = router.handle(request, nowMs());
        for (const auto& [key, value] : r.headers) out.set_header(key, value);
        out.set_header("X-Content-Type-Options", "nosniff");
        out.set_header("Referrer-Policy", "same-origin");
        // A request the router refused before reading its body leaves that body in the way
        // of the next request.
        if (in.method != "GET" && in.method != "HEAD" && r.status >= 400) {
            out.set_header("Connection", "close");
        }
        out.status = r.status;
        if (r.live) {
            streamLive(out);
            return;
        }
        out.set_content(r.body, r.type.c_str());
    }

    void streamLive(httplib::Response& out) {
        if (liveClients.fetch_add(1) >= kLiveClients) {
            liveClients.fetch_sub(1);
            out.status = 503;
            out.set_content("{\"error\":\"too many live views\"}", "application/json");
            return;
        }
        out.set_header("Cache-Control", "no-store");
        auto cursor = std::make_shared<uint64_t>(board.dotCount());
        auto quiet = std::make_shared<int>(0);
        out.set_chunked_content_provider(
            "text/event-stream",
            [this, cursor, quiet](size_t, httplib::DataSink& sink) {
                if (stopping.load()) return false;
                const auto began = std::chrono::steady_clock::now();
                std::vector<LiveDot> dots = board.dotsAfter(*cursor, 1000);
                if (stopping.load()) return false;
                std::string event;
                if (!dots.empty()) {
                    event = dotsEvent(thinDots(dots, kDotsPerEvent));
                    *quiet = 0;
                } else if (++*quiet >= 15) {
                    event = ": still here\n\n";  // keeps proxies and the browser from giving up
                    *quiet = 0;
                }
                if (!event.empty() && !sink.write(event.data(), event.size())) return false;
                // Events at most every kEventMs: what arrives meanwhile is thinned into the next.
                const auto next = began + std::chrono::milliseconds(kEventMs);
                if (!dots.empty()) std::this_thread::sleep_until(next);
                return true;
            },
            [this](bool) { liveClients.fetch_sub(1); });
    }
};

StationWebServer::StationWebServer(Router& router, Board& board)
    : impl_(std::make_unique<Impl>(router, board)) {}

StationWebServer::~StationWebServer() {
    stop();
}

bool StationWebServer::start(const ListenAddress& address, std::string& why) {
    httplib::Server& server = impl_->server;
    impl_->watch = std::make_unique<ConnectionWatch>(address.port);
    server.new_task_queue = [this] { return new ConnectionPool(kConnections, *impl_->watch); };
    server.set_keep_alive_timeout(kIdleSeconds);
    server.set_keep_alive_max_count(1000);
    server.set_read_timeout(kIdleSeconds, 0);
    server.set_write_timeout(kIdleSeconds, 0);
    server.set_payload_max_length(kMaxBodyBytes);
    server.set_pre_routing_handler([this](const httplib::Request& in, httplib::Response& out) {
        impl_->watch->requestDone(tConnection);
        if (tRefusing) {
            out.status = 503;
            out.set_header("Connection", "close");
            out.set_content("{\"error\":\"too many connections\"}", "application/json");
            return httplib::Server::HandlerResponse::Handled;
        }
        // The login form's body is read by the library (at most kMaxBodyBytes) first.
        if (in.method == "POST" && in.target == "/login") {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        impl_->serve(in, out);
        return httplib::Server::HandlerResponse::Handled;
    });
    server.Post("/login", [this](const httplib::Request& in, httplib::Response& out) {
        impl_->serve(in, out);
    });
    if (!server.bind_to_port(address.host, address.port)) {
        why = "cannot listen on " + address.host + ":" + std::to_string(address.port);
        return false;
    }
    impl_->thread = std::thread([this] {
        ::pthread_setname_np(::pthread_self(), "web");
        platform::yieldToOtherWork();  // the recorder comes first, even under a flood
        impl_->server.listen_after_bind();
    });
    return true;
}

void StationWebServer::stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopping.store(true);
    impl_->board.wakeReaders();
    impl_->server.stop();
    impl_->watch->shutDownAll();
    impl_->thread.join();
}

}  // namespace tool::web
