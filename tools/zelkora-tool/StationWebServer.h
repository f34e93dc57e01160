#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/StationWeb.h"

namespace tool::web {

// The page's work on sequence files: the measurements and the calls table as `calls` makes
// them, and the picture as `render` draws it, made by running `render` once per file and kept
// in `pictureDir` (the files of a night never change once written).
class StationFiles : public FileWork {
  public:
    // Pictures are not made while the disk has under `minFreeBytes` free: the recordings
    // come first.
    StationFiles(ShownDots shown, std::string pictureDir, uint64_t minFreeBytes);

    std::optional<FileSummary> summary(const std::string& path) override;
    std::optional<std::string> callsJson(const std::string& path) override;
    std::optional<std::string> picture(const std::string& path) override;

  private:
    static constexpr size_t kKeptSummaries = 10000;
    ShownDots shown_;
    std::string pictureDir_;
    uint64_t minFreeBytes_;
    std::mutex summaryMutex_;
    std::map<std::string, FileSummary> summaries_;
    std::mutex pictureMutex_;  // one picture at a time: the recorder shares the processor
};

// The HTTP side: a thread that accepts connections and a pool of at most kConnections that
// serve them, each request answered by the router. Connections beyond the pool get 503 at
// once; a client that says nothing for kIdleSeconds is dropped.
class StationWebServer {
  public:
    static constexpr size_t kConnections = 16;
    static constexpr int kIdleSeconds = 30;
    static constexpr int kLiveClients = 4;
    // Dots in one live event, and events a second at most: a full line rate costs a client
    // about 30 kB/s.
    static constexpr size_t kDotsPerEvent = 150;
    static constexpr int kEventMs = 100;

    StationWebServer(Router& router, Board& board);
    ~StationWebServer();
    StationWebServer(const StationWebServer&) = delete;
    StationWebServer& operator=(const StationWebServer&) = delete;

    // Binds the address and starts serving; false with `why` when the address cannot be had.
    bool start(const ListenAddress& address, std::string& why);
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tool::web
