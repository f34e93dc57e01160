#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class ProfileStore;
}

// A rectangle kept in the settings as four sub-keys TLx, TLy, BRx, BRy.
struct SettingsRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const SettingsRect&, const SettingsRect&) = default;
};

// The one record of persisted user settings. Parts of the program read and change the
// fields directly; nothing reaches the profile store until the next whole save(). Colours
// are 0x00BBGGRR values. Field names are the stored key names.
struct AppSettings {
    std::string Name;
    std::string rslString;
    std::string rslPath;
    int32_t rslPos = 0;
    int32_t autoSlack = 1;
    int32_t autoLineLength = 5;
    int32_t autoMaxTBC = 5000000;
    std::string RecordHeader;
    std::string GPath;  // the sequence folder, ending in '/'; defaultSequenceFolder() when new
    int32_t RecordMode = 0;
    int32_t RecordUseCalTone = 0;
    int32_t RecordDivrat = 16;
    int32_t BigDots = 16;
    int32_t AllUse = 0;
    int32_t TimeKeeping = 0;
    int32_t FullScreen = 0;  // saved, never loaded: every run starts windowed
    int32_t SeeAllFile = 0;
    int32_t AllZ = 2;
    int32_t ViewCompressed = 0;
    int32_t Z = 2;
    int32_t Fmin = 4000000;
    int32_t Fmax = 210000000;
    int32_t Floglin = 1;
    int32_t HScaleAll = 1;
    int32_t HScaleTrue = 129;
    int32_t HScaleComp = 134;
    int32_t HScaleRecord = 1;
    int32_t SerialPort = 0;
    int32_t SerialPortSearchList = 0;
    int32_t SerialPortLastSuccessful = 0;
    int32_t ViewType = 0;
    int32_t KeyShifted = 1;  // saved, never loaded: every run starts shifted
    int32_t GraphicsSystem = 0;
    SettingsRect HorToolRect;
    SettingsRect RecordToolRect;
    int32_t GPSport = 8;
    int32_t GPSportLastSuccessful = 0;
    int32_t GPSbaudrate = 38400;
    int32_t GPStz = 0;  // minutes east of UTC; the system zone's offset when new
    uint32_t Cback = 0xFFFFFF;
    uint32_t Cdots = 0x000000;
    uint32_t Cybars = 0x8080FF;
    uint32_t Cscale = 0x000000;
    uint32_t Cstatusback = 0xC0C0C0;
    std::array<uint32_t, 16> CustomColor{};
    int32_t MapBigDots = 0;
    int32_t MapWidth = 0;
    uint32_t MapCback = 0xFFFFFF;
    uint32_t MapCmap = 0x808080;
    uint32_t MapCtrack = 0x00FF00;
    uint32_t MapCrecent = 0xFF0000;
    uint32_t MapCcurrent = 0x0000FF;
    int32_t MapFocus = 0;

    AppSettings();

    // Reads every key in the fixed order, taking the default for a missing value.
    void load(const platform::ProfileStore& store);
    // Writes every key in the same order, then flushes the store. Failures are not reported.
    void save(platform::ProfileStore& store) const;

    // "<documents>/Batfiles/": the sequence folder of a first start and the fall-back when
    // the chosen folder has gone.
    static std::string defaultSequenceFolder();
    // Every key in load/save order, rectangles and custom colours expanded.
    static const std::vector<std::string>& keyOrder();
};

// The program's one settings record, loaded at start-up.
AppSettings& appSettings();
