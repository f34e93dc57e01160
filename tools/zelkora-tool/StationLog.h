#pragma once
#include <cstdio>
#include <functional>
#include <string>

namespace tool {

// The station's plain-text log: one line per event, stamped with the UTC time, appended and
// flushed at once so that a crash loses nothing already said. Each line is also printed on
// standard output, which the service manager's journal keeps. A log that cannot be written
// (a full disk) does not stop the station.
class StationLog {
  public:
    StationLog() = default;
    ~StationLog();
    StationLog(const StationLog&) = delete;
    StationLog& operator=(const StationLog&) = delete;

    // Opens `path` for appending; false when it cannot be (the lines still reach stdout).
    bool open(const std::string& path);
    void line(const std::string& text);
    // Hears every stamped line as well (the web page shows the last few).
    void setListener(std::function<void(const std::string&)> listener) {
        listener_ = std::move(listener);
    }

  private:
    std::FILE* file_ = nullptr;
    std::function<void(const std::string&)> listener_;
};

// The one-line status file, replaced whole (never torn) whenever its line changes.
class StatusFile {
  public:
    explicit StatusFile(std::string path) : path_(std::move(path)) {}
    void write(const std::string& line);
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string last_;
};

// The current UTC time as seconds since 1970-01-01.
int64_t utcNowSeconds();

}  // namespace tool
