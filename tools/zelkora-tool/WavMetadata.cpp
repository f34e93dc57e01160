#include "tools/zelkora-tool/WavMetadata.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tool {

namespace {

uint32_t le32(const char* b) {
    const auto* u = reinterpret_cast<const unsigned char*>(b);
    return uint32_t{u[0]} | uint32_t{u[1]} << 8 | uint32_t{u[2]} << 16 | uint32_t{u[3]} << 24;
}

// Text chunks larger than this are not metadata anyone writes; they are skipped.
constexpr uint32_t kLargestText = 1 << 20;

// A text chunk's bytes up to its first NUL.
std::string text(std::string_view bytes) {
    return std::string(bytes.substr(0, bytes.find('\0')));
}

std::string_view trim(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) {
        v.remove_suffix(1);
    }
    return v;
}

// Exactly `width` digits at `at`.
bool digits(std::string_view v, size_t at, size_t width, int32_t& out) {
    if (at + width > v.size()) return false;
    out = 0;
    for (size_t i = at; i < at + width; ++i) {
        if (v[i] < '0' || v[i] > '9') return false;
        out = out * 10 + (v[i] - '0');
    }
    return true;
}

// A real calendar date and time of day, or nullopt.
std::optional<JulianTime> dateTime(int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi,
                                   int32_t s, int32_t us) {
    if (y < 1900 || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59) return {};
    const JulianTime t = JulianTime::fromDateTime(y, mo, d, h, mi, s, us);
    int32_t cy = 0, cm = 0, cd = 0;
    if (!t.isValid() || !t.dateFields(cy, cm, cd) || cy != y || cm != mo || cd != d) return {};
    return t;
}

// "Z", "±hh", "±hhmm" or "±hh:mm", all of `v`.
std::optional<int32_t> zoneOffset(std::string_view v) {
    if (v == "Z") return 0;
    if (v.empty() || (v[0] != '+' && v[0] != '-')) return {};
    const int32_t sign = v[0] == '-' ? -1 : 1;
    int32_t h = 0, m = 0;
    if (!digits(v, 1, 2, h)) return {};
    if (v.size() == 6 && v[3] == ':') {
        if (!digits(v, 4, 2, m)) return {};
    } else if (v.size() == 5) {
        if (!digits(v, 3, 2, m)) return {};
    } else if (v.size() != 3) {
        return {};
    }
    if (h > 14 || m > 59) return {};
    return sign * (h * 60 + m);
}

}  // namespace

WavMetadata readWavMetadata(std::istream& in) {
    WavMetadata meta;
    char head[12];
    if (!in.read(head, 12) || std::string_view(head, 4) != "RIFF" ||
        std::string_view(head + 8, 4) != "WAVE") {
        return meta;
    }
    char chunk[8];
    uint32_t blockAlign = 0;
    while (in.read(chunk, 8)) {
        const std::string_view id(chunk, 4);
        const uint32_t size = le32(chunk + 4);
        const std::streamoff padded = std::streamoff{size} + (size & 1);
        if (id == "fmt " && size >= 14 && size <= kLargestText) {
            std::string body(size, '\0');
            if (!in.read(body.data(), size)) break;
            if (size & 1) in.ignore(1);
            const auto* u = reinterpret_cast<const unsigned char*>(body.data());
            blockAlign = uint32_t{u[12]} | uint32_t{u[13]} << 8;
            continue;
        }
        // 0xFFFFFFFF (and 0) is what a recorder leaves when it could not go back and write
        // the size: it promises nothing.
        if (id == "data" && blockAlign > 0 && size != 0 && size != 0xFFFFFFFFu) {
            meta.promisedFrames = size / blockAlign;
        }
        if ((id != "guan" && id != "LIST") || size > kLargestText) {
            if (!in.seekg(padded, std::ios::cur)) break;
            continue;
        }
        std::string body(size, '\0');
        if (!in.read(body.data(), size)) break;  // cut short: not used
        if (size & 1) in.ignore(1);
        if (id == "guan") {
            meta.guan = text(body);
        } else if (body.compare(0, 4, "INFO") == 0) {
            std::string_view list(body);
            list.remove_prefix(4);
            while (list.size() >= 8) {
                const uint32_t subSize = le32(list.data() + 4);
                if (subSize > list.size() - 8) break;
                if (list.substr(0, 4) == "ICMT") meta.comment = text(list.substr(8, subSize));
                list.remove_prefix(std::min<size_t>(list.size(), 8 + subSize + (subSize & 1)));
            }
        }
    }
    return meta;
}

std::string guanValue(std::string_view guan, std::string_view key) {
    while (!guan.empty()) {
        const size_t end = guan.find('\n');
        const std::string_view line = guan.substr(0, end);
        guan = end == std::string_view::npos ? std::string_view{} : guan.substr(end + 1);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && trim(line.substr(0, colon)) == key) {
            return std::string(trim(line.substr(colon + 1)));
        }
    }
    return {};
}

std::optional<RecordedTime> parseIsoTime(std::string_view v) {
    v = trim(v);
    int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, us = 0;
    if (v.size() < 19 || v[4] != '-' || v[7] != '-' || (v[10] != ' ' && v[10] != 'T') ||
        v[13] != ':' || v[16] != ':' || !digits(v, 0, 4, y) || !digits(v, 5, 2, mo) ||
        !digits(v, 8, 2, d) || !digits(v, 11, 2, h) || !digits(v, 14, 2, mi) ||
        !digits(v, 17, 2, s)) {
        return {};
    }
    size_t at = 19;
    if (at < v.size() && v[at] == '.') {
        size_t n = 0;
        int32_t scale = 100000;
        for (++at; at < v.size() && v[at] >= '0' && v[at] <= '9'; ++at, ++n) {
            us += (v[at] - '0') * scale;
            scale /= 10;
        }
        if (n == 0) return {};
    }
    RecordedTime t;
    const auto wall = dateTime(y, mo, d, h, mi, s, us);
    if (!wall) return {};
    t.wall = *wall;
    if (at < v.size()) {
        t.offsetMinutes = zoneOffset(v.substr(at));
        if (!t.offsetMinutes) return {};
    }
    return t;
}

std::optional<RecordedTime> parseRecorderComment(std::string_view v) {
    constexpr std::string_view kLead = "Recorded at ";
    const size_t lead = v.find(kLead);
    if (lead == std::string_view::npos) return {};
    v = v.substr(lead + kLead.size());
    // hh:mm:ss DD/MM/YYYY (UTC...)
    int32_t h = 0, mi = 0, s = 0, d = 0, mo = 0, y = 0;
    if (v.size() < 25 || v[2] != ':' || v[5] != ':' || v[8] != ' ' || v[11] != '/' ||
        v[14] != '/' || v.substr(19, 5) != " (UTC" || !digits(v, 0, 2, h) || !digits(v, 3, 2, mi) ||
        !digits(v, 6, 2, s) || !digits(v, 9, 2, d) || !digits(v, 12, 2, mo) ||
        !digits(v, 15, 4, y)) {
        return {};
    }
    const size_t close = v.find(')', 24);
    if (close == std::string_view::npos) return {};
    const std::string_view zone = v.substr(24, close - 24);
    RecordedTime t;
    const auto wall = dateTime(y, mo, d, h, mi, s, 0);
    if (!wall) return {};
    t.wall = *wall;
    if (zone.empty()) {
        t.offsetMinutes = 0;
    } else {
        // "+1", "-5", "+05:30": one or two hour digits.
        std::string padded(zone);
        if (padded.size() >= 2 && (padded.size() == 2 || padded[2] == ':')) {
            padded.insert(1, "0");
        }
        t.offsetMinutes = zoneOffset(padded);
        if (!t.offsetMinutes) return {};
    }
    return t;
}

std::optional<JulianTime> parseFileNameTime(std::string_view v) {
    auto digit = [&](size_t at) { return at < v.size() && v[at] >= '0' && v[at] <= '9'; };
    for (size_t at = 0; at + 15 <= v.size(); ++at) {
        if ((at > 0 && digit(at - 1)) || digit(at + 15) || (v[at + 8] != '_' && v[at + 8] != '-')) {
            continue;
        }
        int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        if (digits(v, at, 4, y) && digits(v, at + 4, 2, mo) && digits(v, at + 6, 2, d) &&
            digits(v, at + 9, 2, h) && digits(v, at + 11, 2, mi) && digits(v, at + 13, 2, s)) {
            if (const auto t = dateTime(y, mo, d, h, mi, s, 0)) return t;
        }
    }
    return {};
}

bool parseLatLon(std::string_view v, double& latitude, double& longitude) {
    v = trim(v);
    const size_t split = v.find_first_of(" ,");
    if (split == std::string_view::npos) return false;
    const std::string_view a = trim(v.substr(0, split));
    std::string_view b = v.substr(split + 1);
    while (!b.empty() && (b.front() == ' ' || b.front() == ',')) b.remove_prefix(1);
    b = trim(b);
    auto number = [](std::string_view s, double& out) {
        if (!s.empty() && s.front() == '+') s.remove_prefix(1);
        const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
        return !s.empty() && ec == std::errc() && ptr == s.data() + s.size() && std::isfinite(out);
    };
    return number(a, latitude) && number(b, longitude) && std::fabs(latitude) <= 90 &&
           std::fabs(longitude) <= 180;
}

}  // namespace tool
