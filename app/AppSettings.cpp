#include "app/AppSettings.h"

#include <functional>
#include <variant>

#include "platform/LocalClock.h"
#include "platform/ProfileStore.h"
#include "platform/UserFolders.h"

namespace {

// One row of the settings table. Every field is reached through its member pointer so that
// load, save and the key list walk one table and cannot fall out of order with each other.
struct Entry {
    std::string key;
    std::variant<std::string AppSettings::*, int32_t AppSettings::*, uint32_t AppSettings::*,
                 std::function<int32_t&(AppSettings&)>>
        field;
    bool loaded = true;
};

const std::vector<Entry>& table() {
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> t;
        auto str = [&](const char* k, std::string AppSettings::*m) { t.push_back({k, m}); };
        auto num = [&](const char* k, int32_t AppSettings::*m, bool loaded = true) {
            t.push_back({k, m, loaded});
        };
        auto colour = [&](const char* k, uint32_t AppSettings::*m) { t.push_back({k, m}); };
        auto rect = [&](const char* base, SettingsRect AppSettings::*m) {
            const char* suffix[] = {"TLx", "TLy", "BRx", "BRy"};
            int32_t SettingsRect::*part[] = {&SettingsRect::left, &SettingsRect::top,
                                             &SettingsRect::right, &SettingsRect::bottom};
            for (int i = 0; i < 4; ++i) {
                auto p = part[i];
                t.push_back({std::string(base) + suffix[i],
                             std::function<int32_t&(AppSettings&)>(
                                 [m, p](AppSettings& s) -> int32_t& { return (s.*m).*p; })});
            }
        };
        str("Name", &AppSettings::Name);
        str("rslString", &AppSettings::rslString);
        str("rslPath", &AppSettings::rslPath);
        num("rslPos", &AppSettings::rslPos);
        num("autoSlack", &AppSettings::autoSlack);
        num("autoLineLength", &AppSettings::autoLineLength);
        num("autoMaxTBC", &AppSettings::autoMaxTBC);
        str("RecordHeader", &AppSettings::RecordHeader);
        str("GPath", &AppSettings::GPath);
        num("RecordMode", &AppSettings::RecordMode);
        num("RecordUseCalTone", &AppSettings::RecordUseCalTone);
        num("RecordDivrat", &AppSettings::RecordDivrat);
        num("BigDots", &AppSettings::BigDots);
        num("AllUse", &AppSettings::AllUse);
        num("TimeKeeping", &AppSettings::TimeKeeping);
        num("FullScreen", &AppSettings::FullScreen, false);
        num("SeeAllFile", &AppSettings::SeeAllFile);
        num("AllZ", &AppSettings::AllZ);
        num("ViewCompressed", &AppSettings::ViewCompressed);
        num("Z", &AppSettings::Z);
        num("Fmin", &AppSettings::Fmin);
        num("Fmax", &AppSettings::Fmax);
        num("Floglin", &AppSettings::Floglin);
        num("HScaleAll", &AppSettings::HScaleAll);
        num("HScaleTrue", &AppSettings::HScaleTrue);
        num("HScaleComp", &AppSettings::HScaleComp);
        num("HScaleRecord", &AppSettings::HScaleRecord);
        num("SerialPort", &AppSettings::SerialPort);
        num("SerialPortSearchList", &AppSettings::SerialPortSearchList);
        num("SerialPortLastSuccessful", &AppSettings::SerialPortLastSuccessful);
        num("ViewType", &AppSettings::ViewType);
        num("KeyShifted", &AppSettings::KeyShifted, false);
        num("GraphicsSystem", &AppSettings::GraphicsSystem);
        rect("HorToolRect", &AppSettings::HorToolRect);
        rect("RecordToolRect", &AppSettings::RecordToolRect);
        num("GPSport", &AppSettings::GPSport);
        num("GPSportLastSuccessful", &AppSettings::GPSportLastSuccessful);
        num("GPSbaudrate", &AppSettings::GPSbaudrate);
        num("GPStz", &AppSettings::GPStz);
        colour("Cback", &AppSettings::Cback);
        colour("Cdots", &AppSettings::Cdots);
        colour("Cybars", &AppSettings::Cybars);
        colour("Cscale", &AppSettings::Cscale);
        colour("Cstatusback", &AppSettings::Cstatusback);
        for (int i = 0; i < 16; ++i) {
            t.push_back({"CustomColor" + std::to_string(i),
                         std::function<int32_t&(AppSettings&)>([i](AppSettings& s) -> int32_t& {
                             return reinterpret_cast<int32_t&>(s.CustomColor[i]);
                         })});
        }
        num("MapBigDots", &AppSettings::MapBigDots);
        num("MapWidth", &AppSettings::MapWidth);
        colour("MapCback", &AppSettings::MapCback);
        colour("MapCmap", &AppSettings::MapCmap);
        colour("MapCtrack", &AppSettings::MapCtrack);
        colour("MapCrecent", &AppSettings::MapCrecent);
        colour("MapCcurrent", &AppSettings::MapCcurrent);
        num("MapFocus", &AppSettings::MapFocus);
        return t;
    }();
    return entries;
}

}  // namespace

AppSettings::AppSettings()
    : GPath(defaultSequenceFolder()),
      GPStz(static_cast<int32_t>(platform::localUtcOffsetSeconds() / 60)) {}

std::string AppSettings::defaultSequenceFolder() {
    return platform::documentsFolder() + "/Batfiles/";
}

void AppSettings::load(const platform::ProfileStore& store) {
    const AppSettings defaults;
    for (const Entry& e : table()) {
        std::visit(
            [&](auto&& f) {
                using F = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<F, std::string AppSettings::*>) {
                    this->*f = store.readString(e.key).value_or(defaults.*f);
                } else if constexpr (std::is_same_v<F, int32_t AppSettings::*>) {
                    this->*f = e.loaded ? store.readInt(e.key).value_or(defaults.*f) : defaults.*f;
                } else if constexpr (std::is_same_v<F, uint32_t AppSettings::*>) {
                    auto v = store.readInt(e.key);
                    this->*f = v ? static_cast<uint32_t>(*v) : defaults.*f;
                } else {
                    AppSettings copy = defaults;
                    f(*this) = store.readInt(e.key).value_or(f(copy));
                }
            },
            e.field);
    }
    FullScreen = 0;
    KeyShifted = 1;
}

void AppSettings::save(platform::ProfileStore& store) const {
    AppSettings& self = const_cast<AppSettings&>(*this);  // the accessors hand out references
    for (const Entry& e : table()) {
        std::visit(
            [&](auto&& f) {
                using F = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<F, std::string AppSettings::*>) {
                    store.writeString(e.key, this->*f);
                } else if constexpr (std::is_same_v<F, int32_t AppSettings::*>) {
                    store.writeInt(e.key, this->*f);
                } else if constexpr (std::is_same_v<F, uint32_t AppSettings::*>) {
                    store.writeInt(e.key, static_cast<int32_t>(this->*f));
                } else {
                    store.writeInt(e.key, f(self));
                }
            },
            e.field);
    }
    store.flush();
}

const std::vector<std::string>& AppSettings::keyOrder() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k;
        for (const Entry& e : table()) k.push_back(e.key);
        return k;
    }();
    return keys;
}

AppSettings& appSettings() {
    static AppSettings settings;
    return settings;
}
