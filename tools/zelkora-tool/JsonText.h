#pragma once
#include <string>

namespace tool {

// A JSON string literal of `s`; bytes that are not UTF-8 (file names may hold any) become
// U+FFFD.
std::string jsonString(const std::string& s);

}  // namespace tool
