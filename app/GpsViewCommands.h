#pragma once
#include <cstdint>
#include <string>

#include "app/GpsWindows.h"
#include "gps/ClockFromGps.h"
#include "gps/GpsMap.h"

struct AppSettings;
class ZelkoraDoc;

// The GPS menu's commands as the window carries them out (codes 97 Connect / Disconnect,
// 99 Set Clock, 100 Settings, 102 New File, 103 Map), and the one map of the application,
// which every position the link parses reaches. The windows themselves are `windows`.
class GpsViewCommands {
  public:
    static constexpr int32_t kConnect = 97;
    static constexpr int32_t kSetClock = 99;
    static constexpr int32_t kSettings = 100;
    static constexpr int32_t kNewFile = 102;
    static constexpr int32_t kMap = 103;

    GpsViewCommands(AppSettings& settings, ZelkoraDoc& doc, GpsWindows& windows,
                    ClockFromGps clock = ClockFromGps());
    ~GpsViewCommands();
    GpsViewCommands(const GpsViewCommands&) = delete;
    GpsViewCommands& operator=(const GpsViewCommands&) = delete;

    // A GPS menu code; false when it names no GPS command or is disabled now.
    bool Perform(int32_t code);
    void OpenMap() { windows_.ShowMap(map_); }

    // The menu bar's item states.
    const char* ConnectText() const;
    bool ConnectEnabled() const;
    bool SetClockEnabled() const;

    GpsMap& map() { return map_; }

    // "System: UTC+10:00" for the machine's zone (offset in seconds east of UTC), and
    // " - differs" after it when the configured zone `gpsTz` (minutes) is another.
    static std::string SystemZoneText(int64_t systemOffsetSeconds, int32_t gpsTz);

  private:
    void Connect();
    void SetClock();
    void Settings();
    void NewFile();

    AppSettings& s_;
    ZelkoraDoc& doc_;
    GpsWindows& windows_;
    ClockFromGps clock_;
    GpsMap map_;
};
