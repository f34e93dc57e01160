#pragma once
#include <array>
#include <cstdint>
#include <optional>

// The rules of the GPS settings dialog; the window shows these values and hands back what
// the user chose.
namespace gps_settings {

inline constexpr std::array<int32_t, 9> kBaudRates = {2400,  4800,  7200,  9600,  14400,
                                                      19200, 38400, 57600, 115200};

// Index of the baud-rate entry equal to `baud`, or nullopt (no entry selected).
std::optional<int32_t> BaudIndex(int32_t baud);

// The time zone as the dialog shows it: a sign and hours 0..12, minutes 0..59.
struct TimeZoneFields {
    bool negative = false;
    int32_t hours = 0;
    int32_t minutes = 0;
};
TimeZoneFields ToFields(int32_t gpsTzMinutes);
int32_t FromFields(const TimeZoneFields& fields);
// The dialog's validation of the two number fields.
bool FieldsValid(const TimeZoneFields& fields);

// What OK stores: the port of the selected port entry, the selected rate and the time zone.
// With no entry selected the old port or rate is kept: a receiver unplugged while the
// dialog was open for the time zone must not lose its port for the next night.
struct Choice {
    int32_t GPSport = -1;
    int32_t GPSbaudrate = 0;
    int32_t GPStz = 0;
};
Choice OnOk(std::optional<int32_t> selectedPortItemData, int32_t oldPort,
            std::optional<int32_t> selectedBaudIndex, int32_t oldBaud,
            const TimeZoneFields& fields);

}  // namespace gps_settings
