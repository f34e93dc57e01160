#include "app/DialogFields.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace DialogFields {

std::string RangeMessage(int32_t min, int32_t max) {
    return "Please enter an integer between " + std::to_string(min) + " and " +
           std::to_string(max) + ".";
}

std::optional<std::string> ReadInteger(const std::string& text, int32_t min, int32_t max,
                                       int32_t& out) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
    const bool digits = end != begin && text.find_first_of("0123456789") != std::string::npos;
    if (!digits || *end != '\0' || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return std::string(kNotAnInteger);
    }
    if (value < min || value > max) return RangeMessage(min, max);
    out = static_cast<int32_t>(value);
    return std::nullopt;
}

}  // namespace DialogFields
