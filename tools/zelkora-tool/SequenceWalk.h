#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tool {

// The sequence files named on a command line: a file as given, a folder as its sequence
// files in browsing order (the view's order, names compared in upper case), each path as
// found on disk. A folder that cannot be read is reported ("Cannot open folder NAME") and
// sets `failed`.
std::vector<std::string> sequencePaths(const std::vector<std::string>& args, bool& failed);

// What decides which dots the view shows: the filter level (the `Z` setting unless
// overridden) and the frequency range of the settings.
struct ShownDots {
    int32_t level = 2;
    int32_t fminMhz = 0;
    int32_t fmaxMhz = 0;
};

// From the saved settings; `levelOption` (the text of --filter) replaces the level when
// given. False, with a usage message in `error`, when the option is not a level 0..5.
bool shownDotsFromSettings(const std::string* levelOption, ShownDots& out, std::string& error);

}  // namespace tool
