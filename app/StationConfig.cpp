#include "app/StationConfig.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace {

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::optional<int64_t> integer(const std::string& s, int64_t min, int64_t max) {
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < min || v > max) return std::nullopt;
    return v;
}

std::optional<double> real(const std::string& s, double min, double max) {
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v) || v < min ||
        v > max) {
        return std::nullopt;
    }
    return v;
}

// One key: false with `why` set when its value is unusable.
bool apply(const std::string& key, const std::string& value, StationConfig& c,
           std::optional<double>& latitude, std::optional<double>& longitude, std::string& why) {
    auto port = [&](std::optional<int32_t>& field) {
        const auto v = integer(value, 1, 9999);
        if (v) field = static_cast<int32_t>(*v);
        why = "a port number 1-9999";
        return v.has_value();
    };
    auto offset = [&](int64_t& field) {
        // Minutes, fractions allowed, at most a day either way.
        const auto v = real(value, -1440.0, 1440.0);
        if (v) field = std::llround(*v * 60.0);
        why = "minutes between -1440 and 1440";
        return v.has_value();
    };
    auto clock = [&](int32_t& field) {
        const auto v = station::parseClockTime(value);
        if (v) field = *v;
        why = "a time of day hh:mm or hh:mm:ss";
        return v.has_value();
    };
    if (key == "port") return port(c.port);
    if (key == "gps") return port(c.gps);
    if (key == "gps_baud") {
        const auto v = integer(value, 300, 921600);
        if (v) c.gpsBaud = static_cast<int32_t>(*v);
        why = "a baud rate";
        return v.has_value();
    }
    if (key == "http" || key == "http_token") {
        why = key == "http" ? "[ADDRESS:]PORT" : "a token";
        if (value.empty()) return false;
        (key == "http" ? c.http : c.httpToken) = value;
        return true;
    }
    if (key == "dir" || key == "log" || key == "status") {
        why = "a path";
        if (value.empty()) return false;
        (key == "dir" ? c.dir : key == "log" ? c.logPath : c.statusPath) = value;
        return true;
    }
    if (key == "latitude" || key == "longitude") {
        const double limit = key == "latitude" ? 90.0 : 180.0;
        const auto v = real(value, -limit, limit);
        (key == "latitude" ? latitude : longitude) = v;
        why = "degrees (north and east positive)";
        return v.has_value();
    }
    if (key == "sunset_offset") return offset(c.plan.sunsetOffset);
    if (key == "sunrise_offset") return offset(c.plan.sunriseOffset);
    if (key == "fixed_start") return clock(c.plan.fixedStart);
    if (key == "fixed_stop") return clock(c.plan.fixedStop);
    if (key == "min_free_mb") {
        const auto v = integer(value, 0, 1000000);
        if (v) c.minFreeBytes = static_cast<uint64_t>(*v) * 1024 * 1024;
        why = "megabytes";
        return v.has_value();
    }
    if (key == "search_interval") {
        const auto v = integer(value, 1, 86400);
        if (v) c.searchIntervalSeconds = static_cast<int32_t>(*v);
        why = "seconds";
        return v.has_value();
    }
    why = "unknown key";
    return false;
}

}  // namespace

bool parseStationConfig(const std::string& text, StationConfig& config, std::string& error) {
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    std::optional<double> latitude, longitude;
    while (std::getline(in, raw)) {
        ++line;
        const std::string s = trimmed(raw);
        if (s.empty() || s[0] == '#' || s[0] == ';' || s == "[station]") continue;
        const auto eq = s.find('=');
        const std::string where = "line " + std::to_string(line) + ": ";
        if (eq == std::string::npos) {
            error = where + "expected key = value";
            return false;
        }
        const std::string key = trimmed(s.substr(0, eq));
        const std::string value = trimmed(s.substr(eq + 1));
        std::string why;
        if (!apply(key, value, config, latitude, longitude, why)) {
            error = where + key + (why == "unknown key" ? ": unknown key" : ": expected " + why);
            return false;
        }
    }
    if (latitude.has_value() != longitude.has_value()) {
        error = "latitude and longitude go together";
        return false;
    }
    if (latitude) config.position = station::Position{*latitude, *longitude};
    return true;
}
