#include "tools/zelkora-tool/StationLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>

#include "app/StationSchedule.h"
#include "platform/OutputFile.h"

namespace tool {

StationLog::~StationLog() {
    if (file_) std::fclose(file_);
}

bool StationLog::open(const std::string& path, std::string& why) {
    file_ = std::fopen(path.c_str(), "a");
    if (file_ == nullptr) why = std::strerror(errno);
    return file_ != nullptr;
}

void StationLog::line(const std::string& text) {
    std::string stamped = station::utcText(utcNowSeconds()) + " " + text;
    for (char& c : stamped) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    stamped += '\n';
    const std::lock_guard hold(mutex_);
    if (listener_) listener_(stamped.substr(0, stamped.size() - 1));
    std::fputs(stamped.c_str(), stdout);
    std::fflush(stdout);
    if (file_) {
        std::fputs(stamped.c_str(), file_);
        std::fflush(file_);
    }
}

bool StatusFile::write(const std::string& line, std::string& error) {
    if (line == last_) return true;
    const std::string text = line + "\n";
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (!platform::writeOutputFile(path_, std::span(bytes, text.size()), error)) return false;
    last_ = line;
    return true;
}

int64_t utcNowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace tool
