#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "app/StationSchedule.h"

// The station's configuration file: one "key = value" a line, '#' or ';' starting a comment
// line, blank lines ignored, a "[station]" section header allowed. Keys that are absent keep
// the defaults below (and the recorder's settings for the ports and the folder).
struct StationConfig {
    std::optional<int32_t> port;                // port: the module's port
    std::optional<int32_t> gps;                 // gps: the GPS receiver's port
    std::optional<int32_t> gpsBaud;             // gps_baud
    std::optional<std::string> dir;             // dir: the folder that holds the nightly folders
    std::optional<station::Position> position;  // latitude, longitude (both or neither)
    station::SchedulePlan plan;  // sunset_offset, sunrise_offset (minutes), fixed_start, fixed_stop
    uint64_t minFreeBytes = 200ull * 1024 * 1024;  // min_free_mb
    int32_t searchIntervalSeconds = 60;            // search_interval
    std::optional<std::string> logPath;            // log
    std::optional<std::string> statusPath;         // status
    std::optional<std::string> http;               // http: [ADDRESS:]PORT of the web page
    std::optional<std::string> httpToken;          // http_token: what the web page asks for
};

// Reads the text of a configuration file into `config`. False on the first bad line, with
// `error` naming the line and what is wrong with it.
bool parseStationConfig(const std::string& text, StationConfig& config, std::string& error);
