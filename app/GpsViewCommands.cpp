#include "app/GpsViewCommands.h"

#include <cstdio>
#include <cstdlib>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "gps/GpsCommands.h"
#include "platform/LocalClock.h"

GpsViewCommands::GpsViewCommands(AppSettings& settings, ZelkoraDoc& doc, GpsWindows& windows,
                                 ClockFromGps clock)
    : s_(settings), doc_(doc), windows_(windows), clock_(std::move(clock)) {
    map_.InitMap(settings.GPath);
    doc_.gps().link().setFixObserver([this](const GpsFix& fix) { map_.UpdateStatus(fix); });
}

GpsViewCommands::~GpsViewCommands() {
    doc_.gps().link().setFixObserver({});
}

bool GpsViewCommands::Perform(int32_t code) {
    switch (code) {
        case kConnect:
            if (!ConnectEnabled()) return false;
            Connect();
            return true;
        case kSetClock:
            // The button menu offers it always; without a fix it reports that it could not.
            SetClock();
            return true;
        case kSettings:
            Settings();
            return true;
        case kNewFile:
            NewFile();
            return true;
        case kMap:
            OpenMap();
            return true;
        default:
            return false;
    }
}

const char* GpsViewCommands::ConnectText() const {
    return gps_commands::ConnectMenuText(doc_.gps().poll().connected());
}

bool GpsViewCommands::ConnectEnabled() const {
    return gps_commands::ConnectEnabled(doc_.recording());
}

bool GpsViewCommands::SetClockEnabled() const {
    return gps_commands::SetClockEnabled(doc_.gps().link());
}

void GpsViewCommands::Connect() {
    GpsPositionFeed& gps = doc_.gps();
    if (gps_commands::ToggleConnection(gps.link(), gps.poll(), &windows_.connectionProgress()))
        OpenMap();
}

void GpsViewCommands::SetClock() {
    windows_.ShowClockMessage(clock_.SetClockFromGps(doc_.gps().link()));
}

void GpsViewCommands::Settings() {
    GpsWindows::SettingsForm form;
    form.wantedPort = s_.GPSport;
    form.ports.Fill(s_.GPSport);
    form.baudIndex = gps_settings::BaudIndex(s_.GPSbaudrate);
    form.oldBaud = s_.GPSbaudrate;
    form.timeZone = gps_settings::ToFields(s_.GPStz);
    form.systemZone = SystemZoneText(platform::localUtcOffsetSeconds(), s_.GPStz);
    const std::optional<gps_settings::Choice> choice = windows_.EditSettings(form);
    if (!choice) return;
    s_.GPSport = choice->GPSport;
    s_.GPSbaudrate = choice->GPSbaudrate;
    s_.GPStz = choice->GPStz;
    doc_.gps().link().ApplySettings(s_.GPSport, s_.GPSbaudrate);
}

void GpsViewCommands::NewFile() {
    if (!windows_.Confirm(GpsLink::kNewFileQuestion)) return;
    gps_commands::NewFile(doc_.gps().link(), map_);
}

std::string GpsViewCommands::SystemZoneText(int64_t systemOffsetSeconds, int32_t gpsTz) {
    const int64_t minutes = systemOffsetSeconds / 60;
    const int64_t magnitude = std::llabs(minutes);
    char text[48];
    std::snprintf(text, sizeof text, "System: UTC%c%02lld:%02lld%s", minutes < 0 ? '-' : '+',
                  static_cast<long long>(magnitude / 60), static_cast<long long>(magnitude % 60),
                  minutes == gpsTz ? "" : " - differs");
    return text;
}
