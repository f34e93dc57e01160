#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Reading a dialog's edit fields back, with the framework's own words for a field it refuses.
namespace DialogFields {

inline constexpr const char* kNotAnInteger = "Please enter an integer.";
// "Please enter an integer between 4 and 100."
std::string RangeMessage(int32_t min, int32_t max);

// The integer typed in `text` (spaces around it allowed) when it lies in min..max; else the
// message that refuses it, and `out` is left alone.
std::optional<std::string> ReadInteger(const std::string& text, int32_t min, int32_t max,
                                       int32_t& out);

}  // namespace DialogFields
