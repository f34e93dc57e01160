#include "tools/zelkora-tool/HeadlessRecording.h"

#include <filesystem>

#include "acquisition/PortSearch.h"
#include "app/AppSettings.h"
#include "app/ModuleSearch.h"
#include "gps/GpsLink.h"

namespace tool {

HeadlessRecording::HeadlessRecording(AppSettings& settings, Notice searchNotice)
    : doc_(settings, runStore_), settings_(settings) {
    acquisition::RecordingControl::Hooks hooks;
    // The port search dialog without a dialog. The port asked for being held by another
    // program is remembered, as it explains a failed start better than "no module".
    hooks.searchPorts = [this, notice = std::move(searchNotice)](acquisition::CommFile& p) {
        const int32_t requested = settings_.SerialPort;
        return SearchListedPorts(p, settings_, [&](int32_t code, int32_t number) {
            if (code == acquisition::PortSearch::kPortInUse && number == requested) {
                requestedInUse_ = true;
            }
            if (notice) notice(acquisition::PortSearch::statusText(code, number));
        });
    };
    doc_.recorder().setHooks(hooks);
}

bool HeadlessRecording::start(bool monitor, std::string& why) {
    requestedInUse_ = false;
    const int32_t requested = settings_.SerialPort;
    if (doc_.StartRecording(monitor) == acquisition::RecordingControl::StartResult::Started) {
        nextSecond_ = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        return true;
    }
    why = requestedInUse_
              ? acquisition::PortSearch::statusText(acquisition::PortSearch::kPortInUse, requested)
              : "no DETLINK module found";
    return false;
}

void HeadlessRecording::tick(const Notice& saved,
                             const std::function<void(const acquisition::DotPoint&)>& dots) {
    doc_.DisplayTick(dots);
    for (const std::string& name : doc_.TakeSavedNames()) saved(name);
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextSecond_) {
        doc_.SecondTick();
        nextSecond_ += std::chrono::seconds(1);
        // A run that stalled (a suspended board) does not catch up with a burst of ticks.
        if (nextSecond_ < now) nextSecond_ = now + std::chrono::seconds(1);
    }
}

void HeadlessRecording::stop(const Notice& saved) {
    doc_.StopRecording();
    for (const std::string& name : doc_.TakeSavedNames()) saved(name);
}

bool HeadlessRecording::moduleFailed() {
    acquisition::RecordingControl& control = doc_.recorder();
    return !control.recording() && control.moduleError().load() != 0;
}

void HeadlessRecording::describeFailure(const Notice& line) const {
    if (const int32_t lost = doc_.recorder().lostPort(); lost > 0) {
        line("the DETLINK module on port " + std::to_string(lost) + " has gone");
    }
    line(acquisition::RecordingControl::kModuleErrorText);
}

int32_t HeadlessRecording::unsavedCount() {
    const SequenceFile& sequence = doc_.recorder().accumulator();
    return sequence.unsavedCount() + sequence.droppedUnsaved();
}

bool HeadlessRecording::connectGps(int32_t port, int32_t baud, std::string& why) {
    if (doc_.gps().Connect(port, baud)) return true;
    why = "GPS port " + std::to_string(port) + ": " + GpsLink::kConnectionFailed;
    return false;
}

bool HeadlessRecording::gpsLost() {
    GpsLink& link = doc_.gps().link();
    if (!link.LineLost()) return false;
    link.Disconnect();
    return true;
}

bool useSequenceFolder(AppSettings& settings, const std::string& dir, std::string* why) {
    settings.GPath = dir;
    if (settings.GPath.empty() || settings.GPath.back() != '/') settings.GPath += '/';
    // A folder named on the command line is made, never silently replaced by the default.
    std::error_code made;
    std::filesystem::create_directories(settings.GPath, made);
    std::error_code ec;
    if (std::filesystem::is_directory(settings.GPath, ec)) return true;
    if (why) *why = made ? made.message() : "not a folder";
    return false;
}

}  // namespace tool
