// zelkora-tool encode: writes intervals read from standard input as one type 0x84 sequence
// file, exactly as the recorder would have saved them.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "gps/GpsPoll.h"
#include "platform/qt/QtProfileStore.h"
#include "sequence/SequenceFormat.h"
#include "sequence/SequenceSaver.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage =
    "zelkora-tool encode --ratio N --start \"YYYY-MM-DD hh:mm:ss[.ffffff]\" [--dir DIR] "
    "[--position \"LAT,LON,ALT\"]";

bool parseNumber(std::string_view text, int32_t& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "YYYY-MM-DD hh:mm:ss" with an optional fraction of up to six digits; a real calendar date.
std::optional<JulianTime> parseStart(const std::string& text) {
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    std::string_view v(text);
    int32_t y, mo, d, h, mi, s, us = 0;
    for (auto [from, len] : {std::pair{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}}) {
        if (!allDigits(v.substr(static_cast<size_t>(from), static_cast<size_t>(len)))) {
            return std::nullopt;
        }
    }
    parseNumber(v.substr(0, 4), y);
    parseNumber(v.substr(5, 2), mo);
    parseNumber(v.substr(8, 2), d);
    parseNumber(v.substr(11, 2), h);
    parseNumber(v.substr(14, 2), mi);
    parseNumber(v.substr(17, 2), s);
    if (text.size() > 19) {
        std::string_view fraction = v.substr(20);
        if (text[19] != '.' || fraction.size() > 6 || !allDigits(fraction)) return std::nullopt;
        std::string padded(fraction);
        padded.resize(6, '0');
        parseNumber(padded, us);
    }
    if (y < 1 || h > 23 || mi > 59 || s > 59) return std::nullopt;
    JulianTime t = JulianTime::fromDateTime(y, mo, d, h, mi, s, us);
    int32_t cy = 0, cm = 0, cd = 0;
    // fromDateTime lets 31 February run on into March; a typed date must be a real one.
    if (!t.isValid() || !t.dateFields(cy, cm, cd) || cy != y || cm != mo || cd != d) {
        return std::nullopt;
    }
    return t;
}

bool parseReal(std::string_view text, double& out) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end && std::isfinite(out);
}

// "LAT,LON,ALT" in degrees and metres; the altitude is kept in whole metres as the GPS poll
// keeps it.
std::optional<PositionBlock> parsePosition(const std::string& text, std::string& error) {
    std::vector<std::string_view> parts;
    std::string_view rest(text);
    for (size_t comma; (comma = rest.find(',')) != std::string_view::npos;) {
        parts.push_back(rest.substr(0, comma));
        rest.remove_prefix(comma + 1);
    }
    parts.push_back(rest);
    double lat = 0, lon = 0, alt = 0;
    if (parts.size() != 3 || !parseReal(parts[0], lat) || !parseReal(parts[1], lon) ||
        !parseReal(parts[2], alt)) {
        error = "--position needs LAT,LON,ALT (degrees, degrees, metres), not '" + text + "'";
        return std::nullopt;
    }
    if (std::fabs(lat) > 90 || std::fabs(lon) > 180) {
        error = "--position: latitude must lie within ±90 and longitude within ±180 degrees";
        return std::nullopt;
    }
    const int32_t metres = GpsPoll::WholeMetres(alt);
    if (metres < PositionBlock::kMinAltitude || metres > PositionBlock::kMaxAltitude) {
        error = "--position: the altitude must lie from -999 to 9999 metres";
        return std::nullopt;
    }
    return PositionBlock::build(PositionBlock::kModeLatLon, lat, lon, metres);
}

// Intervals, one per line; blank lines are skipped. False (with a message) on a bad line or
// on more than one file can hold.
bool readIntervals(std::istream& in, std::vector<int32_t>& intervals) {
    std::string line;
    int64_t total = 0;
    for (size_t lineNumber = 1; std::getline(in, line); ++lineNumber) {
        std::string_view v(line);
        while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) {
            v.remove_suffix(1);
        }
        if (v.empty()) continue;
        int32_t interval = -1;
        if (!parseNumber(v, interval) || interval < 0 || interval > seqformat::kMaxInterval) {
            std::fprintf(stderr,
                         "zelkora-tool encode: line %zu: '%.40s' is not an interval in "
                         "microseconds (0 to %d)\n",
                         lineNumber, std::string(v).c_str(), seqformat::kMaxInterval);
            return false;
        }
        total += interval;
        if (intervals.size() == static_cast<size_t>(seqformat::kMaxIntervals)) {
            std::fprintf(stderr,
                         "zelkora-tool encode: a sequence file holds at most %d intervals\n",
                         seqformat::kMaxIntervals);
            return false;
        }
        if (total > seqformat::kMaxSequenceTime) {
            std::fprintf(stderr,
                         "zelkora-tool encode: line %zu: the intervals add up to more than a "
                         "sequence file holds (%d microseconds)\n",
                         lineNumber, seqformat::kMaxSequenceTime);
            return false;
        }
        intervals.push_back(interval);
    }
    return true;
}

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--ratio", "--start", "--dir", "--position"}, {});
    if (!parsed.parse(args)) return tool::usageError("encode", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Reads zero-crossing intervals in microseconds from standard input, one per line,\n"
            "and writes them as one type 0x84 sequence file with the given division ratio\n"
            "(1-64), start time and, with --position, latitude and longitude in degrees and\n"
            "altitude in metres (no position without it). The file is named from the start\n"
            "time (the next free second when that name is taken) and goes into DIR, by default\n"
            "the sequence folder of the settings; a missing folder is made. Prints the path\n"
            "written. Standard input without any interval writes no file (exit status 64).\n"
            "At most 16 383 intervals totalling at most 14 999 999 microseconds; intervals\n"
            "beyond the 32 763-byte file size are dropped with a warning.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (!parsed.positional().empty()) {
        return tool::usageError(
            "encode", "unexpected argument '" + parsed.positional().front() + "'", kUsage);
    }
    if (!parsed.value("--ratio")) return tool::usageError("encode", "--ratio is required", kUsage);
    auto ratio = parsed.integer("--ratio", 0, 1, seqformat::kMaxRatio);
    if (!ratio) return tool::usageError("encode", parsed.error(), kUsage);
    auto startText = parsed.value("--start");
    if (!startText) return tool::usageError("encode", "--start is required", kUsage);
    auto start = parseStart(*startText);
    if (!start) {
        return tool::usageError("encode",
                                "--start needs a date and time \"YYYY-MM-DD hh:mm:ss[.ffffff]\", "
                                "not '" +
                                    *startText + "'",
                                kUsage);
    }
    PositionBlock position;
    if (auto text = parsed.value("--position")) {
        std::string error;
        auto block = parsePosition(*text, error);
        if (!block) return tool::usageError("encode", error, kUsage);
        position = *block;
    }

    std::vector<int32_t> intervals;
    if (!readIntervals(std::cin, intervals)) return tool::kExitUsage;
    // A file of dot 0 alone holds no call; writing one would only hide a broken pipeline.
    if (intervals.empty()) {
        std::fprintf(stderr, "zelkora-tool encode: no intervals on standard input\n");
        return tool::kExitUsage;
    }

    std::string folder;
    if (auto dir = parsed.value("--dir")) {
        folder = *dir;
    } else {
        platform::QtProfileStore store;
        appSettings().load(store);
        folder = appSettings().GPath;
    }
    // A missing folder is made, as the program makes its sequence folder; one that cannot
    // be made ends in "Couldn't open output file" below.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!folder.empty() && folder.back() != '/') folder += '/';

    auto store = std::make_unique<DotStore>();
    store->divisionRatio = static_cast<int32_t>(*ratio);
    store->count = static_cast<int32_t>(intervals.size()) + 1;
    for (size_t i = 0; i < intervals.size(); ++i) {
        store->times[i + 1] = store->times[i] + intervals[i];
    }
    std::vector<uint8_t> image = encodeSequenceImage(
        *store, SequenceHeaderText{}, SequenceStartTime::fromJulian(*start), position);
    auto check = std::make_unique<DotStore>();
    const int32_t kept = decodeSequenceImage(image, *check) - 1;
    if (kept < static_cast<int32_t>(intervals.size())) {
        std::fprintf(stderr,
                     "zelkora-tool encode: only the first %d of %zu intervals fit in one file\n",
                     kept, intervals.size());
    }
    std::string name;
    if (SequenceSaver::saveImage(folder, image, *start, &name) != SequenceSaver::kOk) {
        return tool::kExitFailure;
    }
    std::printf("%s%s\n", folder.c_str(), name.c_str());
    return tool::kExitOk;
}

const tool::CommandRegistration registration{
    {"encode", "write intervals from standard input as a sequence file", &run}};

}  // namespace
