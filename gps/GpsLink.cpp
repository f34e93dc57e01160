#include "gps/GpsLink.h"

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "acquisition/CommFile.h"
#include "app/AppSettings.h"
#include "gps/TrackRecord.h"
#include "platform/InputFile.h"
#include "platform/MessageSink.h"
#include "platform/OutputFile.h"

namespace {

// Closes a C stream on every path out of a scope.
struct FileCloser {
    std::FILE*& file;
    ~FileCloser() {
        if (file) std::fclose(file);
        file = nullptr;
    }
};

}  // namespace

GpsLink::GpsLink() : GpsLink(std::make_unique<acquisition::CommFile>()) {}

GpsLink::GpsLink(std::unique_ptr<acquisition::CommFile> port) : port_(std::move(port)) {}

GpsLink::~GpsLink() {
    if (portOpen_) Disconnect();
}

void GpsLink::LoadSettings() {
    const AppSettings& s = appSettings();
    portNumber_ = s.GPSport;
    baudRate_ = s.GPSbaudrate;
    logPath_ = s.GPath + kTrackFileName;
    enabled_ = true;
}

void GpsLink::ApplySettings(int32_t port, int32_t baud) {
    enabled_ = true;
    portNumber_ = port;
    baudRate_ = baud;
}

bool GpsLink::LineLost() const {
    return portOpen_ && port_->lineLost();
}

bool GpsLink::PortInUse() const {
    return port_->portInUse();
}

bool GpsLink::Connect(ConnectionProgress* progress) {
    LoadSettings();
    if (portOpen_) return true;
    receiver_.Reset();
    logTime_ = JulianTime();
    char status[64];
    std::snprintf(status, sizeof status, "Port %d - please wait", portNumber_);
    if (progress) progress->show(kConnectingHeading, status);
    bool ok = false;
    if (port_->init(portNumber_, baudRate_, 1, 0) != 0) {
        if (progress) progress->setStatus(kConnectionFailed);
        portOpen_ = false;
    } else {
        if (progress) progress->setStatus("Setting Timeouts");
        port_->setTimeouts(acquisition::CommFile::kReturnAtOnce, 0, 0, 1, 1);
        port_->setupBuffers(2048, 512);
        portOpen_ = true;
        if (progress) progress->setStatus("Opening ZLG file");
        OpenTrackFile();
        ok = true;
    }
    if (progress) progress->close();
    return ok;
}

void GpsLink::Disconnect() {
    port_->close();
    portOpen_ = false;
}

int32_t GpsLink::FeedByte(uint8_t byte) {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    const int32_t r = receiver_.AddChar(byte);
    if (r & GpsReceiver::kGga) {
        // The system's own UTC, not local time less GPStz: a configured zone is wrong for
        // half the year wherever summer time applies, and wrong entirely when left at its
        // default on a machine elsewhere.
        logTime_ = receiver_.current().receivedAtUtc;
        WriteRecord();
    }
    if (r != 0 && fixObserver_) fixObserver_(receiver_.current());
    return r;
}

bool GpsLink::Drain() {
    if (!enabled_ || !portOpen_) return false;
    bool fixArrived = false;
    for (int32_t n = 0; n < kMaxDrainBytes; ++n) {
        const int32_t b = port_->ComGetByte();
        if (b < 0) break;
        if (FeedByte(static_cast<uint8_t>(b)) & GpsReceiver::kGga) fixArrived = true;
    }
    return fixArrived;
}

int32_t GpsLink::GetPosition(double& latitude, double& longitude, double& altitude) const {
    const GpsFix& f = receiver_.current();
    latitude = f.latitude;
    longitude = f.longitude;
    altitude = f.altitude;
    if (f.quality <= 0 || f.fixType <= 1) return 0;
    const int32_t differential = f.quality >= 2 ? 2 : 0;
    return (f.fixType >= 3 ? 5 : 1) + differential;
}

bool GpsLink::DefaultFolderCheck() {
    AppSettings& s = appSettings();
    std::error_code ec;
    if (!std::filesystem::is_directory(s.GPath, ec)) {
        const std::string fallback = AppSettings::defaultSequenceFolder();
        if (s.GPath != fallback) s.GPath = fallback;
        std::filesystem::create_directories(s.GPath, ec);
    }
    return std::filesystem::is_directory(s.GPath, ec);
}

bool GpsLink::OpenForAppend(std::FILE*& file) {
    file = std::fopen(logPath_.c_str(), "ab");
    if (file) return true;
    const bool folderOk = folderCheck_ ? folderCheck_() : DefaultFolderCheck();
    if (!folderOk) {
        logOk_ = false;
        return false;
    }
    logPath_ = appSettings().GPath + kTrackFileName;
    file = std::fopen(logPath_.c_str(), "ab");
    if (file) return true;
    platform::showMessage(kOpenFailedMessage, platform::MessageIcon::Exclamation);
    logOk_ = false;
    return false;
}

void GpsLink::RepairTornTail() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const uintmax_t size = fs::file_size(logPath_, ec);
    if (ec || size % TrackRecord::kSize == 0) return;
    // Records appended after the torn one would all be out of step with the file's start.
    const std::string kept = logPath_ + kTornSuffix;
    if (!fs::exists(kept, ec)) {
        std::vector<uint8_t> bytes;
        std::string error;
        // Past 4 GiB on a 32-bit system the size names no whole copy; nothing is copied then.
        if (!std::in_range<size_t>(size) ||
            !platform::readRegularFile(logPath_, static_cast<size_t>(size), bytes) ||
            !platform::writeOutputFile(kept, bytes, error)) {
            // Without the copy nothing is cut: the track stays as it is, and readers stop at
            // the tear.
            platform::showMessage(error.empty() ? "Cannot open file " + logPath_ : error,
                                  platform::MessageIcon::Exclamation);
            return;
        }
    }
    fs::resize_file(logPath_, size - size % TrackRecord::kSize, ec);
    if (ec) {
        platform::showMessage("Cannot write file " + logPath_ + ": " + ec.message(),
                              platform::MessageIcon::Exclamation);
        return;
    }
    platform::showMessage(std::string(kTornMessage) + " (the original is " + kept + ")",
                          platform::MessageIcon::Information);
}

void GpsLink::OpenTrackFile() {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    RepairTornTail();
    std::FILE* file = nullptr;
    FileCloser closer{file};
    if (OpenForAppend(file)) logOk_ = true;
}

void GpsLink::WriteRecord() {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    if (!logOk_ || receiver_.validity() == 0) return;
    TrackRecord::fromFix(logTime_, receiver_.current(), receiver_.validity()).encode(record_);
    std::FILE* file = nullptr;
    FileCloser closer{file};
    if (!OpenForAppend(file)) return;
    const bool written = std::fwrite(record_.data(), 1, record_.size(), file) == record_.size();
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (!written || !closed) {
        platform::showMessage(kWriteFailedMessage, platform::MessageIcon::Exclamation);
        logOk_ = false;
    }
}

std::string GpsLink::NumberedTrackFileName(const std::string& folder, int32_t n) {
    char name[16];
    std::snprintf(name, sizeof name, "GPS%04d.zlg", n);
    return folder + name;
}

bool GpsLink::NewTrackFile() {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    namespace fs = std::filesystem;
    const std::string folder = appSettings().GPath;
    const std::string current = folder + kTrackFileName;
    std::error_code ec;
    bool moved = !fs::exists(current, ec);  // nothing to move: just start the file
    for (int32_t n = 1; !moved && n <= kMaxTrackFileNumber; ++n) {
        const std::string target = NumberedTrackFileName(folder, n);
        if (fs::exists(target, ec)) continue;  // never replace an older track
        fs::rename(current, target, ec);
        moved = !ec;
        if (ec && !fs::exists(current)) break;  // the source went away: nothing left to move
    }
    if (!moved && fs::exists(current, ec)) {
        platform::showMessage(kNewFileFailedMessage, platform::MessageIcon::Exclamation);
        OpenTrackFile();
        return false;
    }
    logPath_ = current;
    OpenTrackFile();
    return true;
}

bool GpsLink::GetClockOffset(JulianTime& offset) {
    if (!enabled_ || !portOpen_) return false;
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    return ComputeClockOffset(receiver_.current(), receiver_.validity(), offset);
}

bool GpsLink::ComputeClockOffset(const GpsFix& f, uint32_t validity, JulianTime& offset) {
    if (validity == 0) return false;
    const JulianTime g = f.ggaTime, d = f.receivedAtUtc;
    if (g == 0 || d == 0 || f.rmcDateTime == 0) return false;
    const JulianTime r = ReceiverDateUnwrapped(f.rmcDateTime);
    int64_t c = 0;
    const int64_t t = r.timeOfDay();
    if (t != g.value()) {
        if (g.value() < JulianTime::kHour && t > 23 * JulianTime::kHour) {
            c = JulianTime::kDay;
        } else if (t < JulianTime::kHour && g.value() > 23 * JulianTime::kHour) {
            c = -JulianTime::kDay;
        }
    }
    const JulianTime u = JulianTime(r.startOfDay()) + g + c;
    offset = d - u;
    return true;
}

JulianTime GpsLink::ReceiverDateUnwrapped(JulianTime rmcDateTime) {
    // No receiver reports a date before this program was written unless its week count has
    // wrapped, and a year of the 2080s or 90s is the two digits of one in the 1980s or 90s.
    const JulianTime earliest = JulianTime::fromDate(2026, 1, 1);
    const JulianTime firstTwoDigitDate = JulianTime::fromDate(2080, 1, 1);
    constexpr int64_t kWrap = int64_t{1024} * 7 * JulianTime::kDay;
    JulianTime t = rmcDateTime;
    if (t >= firstTwoDigitDate) {
        int32_t year = 0, month = 0, day = 0;
        if (!t.dateFields(year, month, day)) return t;
        t = JulianTime::fromDate(year - 100, month, day) + t.timeOfDay();
    }
    while (t.isValid() && t < earliest) t = t + kWrap;
    return t;
}
