#pragma once
#include <optional>
#include <string>

#include "gps/GpsLink.h"
#include "gps/GpsMap.h"
#include "gps/GpsSettingsRules.h"
#include "gps/PortList.h"

// The windows the GPS commands show; the Qt side draws them and hands back what the user did.
class GpsWindows {
  public:
    // What the GPS settings dialog opens with.
    struct SettingsForm {
        gps::PortList ports;
        int32_t wantedPort = -1;
        std::optional<int32_t> baudIndex;
        int32_t oldBaud = 0;
        gps_settings::TimeZoneFields timeZone;
        std::string systemZone;  // the machine's zone, shown beside the fields
    };

    virtual ~GpsWindows() = default;
    // The modeless "Connecting to GPS" window.
    virtual GpsLink::ConnectionProgress& connectionProgress() = 0;
    // The GPS settings dialog; nullopt on Cancel.
    virtual std::optional<gps_settings::Choice> EditSettings(SettingsForm& form) = 0;
    // OK / Cancel on `question`; true for OK.
    virtual bool Confirm(const std::string& question) = 0;
    // The SetTimeFromGPS window: one text and OK.
    virtual void ShowClockMessage(const std::string& text) = 0;
    // The full-screen map window, until the user closes it.
    virtual void ShowMap(GpsMap& map) = 0;
};
