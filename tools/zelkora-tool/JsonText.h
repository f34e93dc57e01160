#pragma once
#include <string>

namespace tool {

// A JSON string literal of `s`; bytes that are not UTF-8 (file names may hold any) become
// U+FFFD.
std::string jsonString(const std::string& s);

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string csvField(const std::string& s);

}  // namespace tool
