#include "gps/GpsSettingsRules.h"

#include <cstdlib>

namespace gps_settings {

std::optional<int32_t> BaudIndex(int32_t baud) {
    for (size_t i = 0; i < kBaudRates.size(); ++i) {
        if (kBaudRates[i] == baud) return static_cast<int32_t>(i);
    }
    return std::nullopt;
}

TimeZoneFields ToFields(int32_t gpsTzMinutes) {
    const int64_t magnitude = std::llabs(int64_t{gpsTzMinutes});
    return {gpsTzMinutes < 0, static_cast<int32_t>(magnitude / 60),
            static_cast<int32_t>(magnitude % 60)};
}

int32_t FromFields(const TimeZoneFields& fields) {
    const int32_t v = fields.hours * 60 + fields.minutes;
    return fields.negative ? -v : v;
}

bool FieldsValid(const TimeZoneFields& fields) {
    return fields.hours >= 0 && fields.hours <= 12 && fields.minutes >= 0 && fields.minutes <= 59;
}

Choice OnOk(std::optional<int32_t> selectedPortItemData, int32_t oldPort,
            std::optional<int32_t> selectedBaudIndex, int32_t oldBaud,
            const TimeZoneFields& fields) {
    Choice c;
    c.GPSport = selectedPortItemData.value_or(oldPort);
    c.GPSbaudrate = oldBaud;
    if (selectedBaudIndex && *selectedBaudIndex >= 0 &&
        *selectedBaudIndex < static_cast<int32_t>(kBaudRates.size())) {
        c.GPSbaudrate = kBaudRates[static_cast<size_t>(*selectedBaudIndex)];
    }
    c.GPStz = FromFields(fields);
    return c;
}

}  // namespace gps_settings
