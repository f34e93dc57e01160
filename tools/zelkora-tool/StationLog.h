#pragma once
#include <cstdio>
#include <functional>
#include <mutex>
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

    // Opens `path` for appending; false, with the reason in `why`, when it cannot be (the
    // lines still reach stdout).
    bool open(const std::string& path, std::string& why);
    // Any thread may write a line (the recorder's own reports its faults); a line break in
    // `text` becomes a space, so that every entry stays one line with its time.
    void line(const std::string& text);
    // Hears every stamped line as well (the web page shows the last few).
    void setListener(std::function<void(const std::string&)> listener) {
        listener_ = std::move(listener);
    }

  private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::function<void(const std::string&)> listener_;
};

// The one-line status file, replaced whole (never torn) whenever its line changes, written
// as every output is (platform/OutputFile.h).
class StatusFile {
  public:
    explicit StatusFile(std::string path) : path_(std::move(path)) {}
    // False when the file could not be written, with "Cannot write file NAME: reason" in
    // `error`; the line is tried again at the next call.
    bool write(const std::string& line, std::string& error);
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string last_;
};

// The current UTC time as seconds since 1970-01-01.
int64_t utcNowSeconds();

}  // namespace tool
