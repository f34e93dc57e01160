#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tool {

// The sequence files named on a command line: a file as given, a folder as its sequence
// files in browsing order (the view's order, names compared in upper case), each path as
// found on disk. A folder that cannot be read is reported ("Cannot open folder NAME") and
// sets `failed`; one that holds no sequence file is reported ("No sequence file in NAME"),
// with the newest of its folders when it has some (a station's folder of nights).
std::vector<std::string> sequencePaths(const std::vector<std::string>& args, bool& failed);

// The recordings named on a command line: a file as given, a folder as the WAV and FLAC files
// in it (by their extension, in any case), in name order, which is time order for the
// recorders that name their files by time. A folder that cannot be read is reported as above
// and sets `failed`; one without recordings is reported as above ("No WAV or FLAC file in
// NAME").
std::vector<std::string> recordingPaths(const std::vector<std::string>& args, bool& failed);

// Says on standard error that `folder` holds no `kind` ("No sequence file in NAME"), naming
// the newest of its folders when it has some.
void sayNoneIn(const std::string& folder, const char* kind);

class ToolArgs;

// What decides which dots the view shows: the filter level (the `Z` setting unless
// overridden) and the frequency range (the settings' `Fmin`..`Fmax` unless overridden).
struct ShownDots {
    int32_t level = 2;
    int32_t fminMhz = 0;
    int32_t fmaxMhz = 0;
};

// From the saved settings; --filter LEVEL, --fmin KHZ and --fmax KHZ replace them when
// given. False, with a usage message in `error`, when --filter is not a level 0..5, a
// frequency not a whole number of kilohertz 1..2000, or the range empty.
bool shownDotsFromSettings(ToolArgs& options, ShownDots& out, std::string& error);

}  // namespace tool
