// zelkora-tool nmea FILE: runs a captured NMEA log through the GPS receiver byte by byte and
// prints the current fix after every sentence the receiver took.
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "gps/GpsReceiver.h"
#include "platform/InputFile.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool nmea FILE";

// A value the receiver never reported prints as -1000 whatever the precision.
void printReal(FILE* out, double v, int decimals) {
    if (v == kGpsNotReported) {
        std::fputs("-1000", out);
    } else {
        std::fprintf(out, "%.*f", decimals, v);
    }
}

void printTimeOfDay(FILE* out, JulianTime t) {
    int32_t h = 0, m = 0, s = 0, us = 0;
    t.timeFields(h, m, s, us);
    std::fprintf(out, "%02d:%02d:%02d.%06d", h, m, s, us);
}

void printDateTime(FILE* out, JulianTime t) {
    int32_t y = 0, mo = 0, d = 0;
    t.dateFields(y, mo, d);
    std::fprintf(out, "%04d-%02d-%02d ", y, mo, d);
    printTimeOfDay(out, t);
}

void printRow(FILE* out, int32_t result, const GpsFix& f, uint32_t validity) {
    std::fprintf(out, "%d,", result);
    printTimeOfDay(out, f.ggaTime);
    std::fprintf(out, ",%d,%d,", f.quality, f.satellitesUsed);
    printReal(out, f.latitude, 7);
    std::fputc(',', out);
    printReal(out, f.longitude, 7);
    std::fputc(',', out);
    printReal(out, f.altitude, 3);
    std::fputc(',', out);
    printReal(out, f.geoidSeparation, 3);
    std::fprintf(out, ",%d,", f.fixType);
    printReal(out, f.pdop, 3);
    std::fputc(',', out);
    printReal(out, f.hdop, 3);
    std::fputc(',', out);
    printReal(out, f.vdop, 3);
    std::fputc(',', out);
    printDateTime(out, f.rmcDateTime);
    std::fputc(',', out);
    printReal(out, f.speed, 3);
    std::fputc(',', out);
    printReal(out, f.course, 3);
    std::fprintf(out, ",%d,%d,%u\n", f.satellitesInView, f.satelliteCount, validity);
}

int runNmea(const std::vector<std::string>& args) {
    tool::ToolArgs parser({}, {});
    if (!parser.parse(args)) return tool::usageError("nmea", parser.error(), kUsage);
    if (parser.helpRequested()) {
        std::printf(
            "usage: %s\n\nFeeds the file's bytes one at a time to the GPS receiver and prints "
            "one CSV row of the\ncurrent fix for every sentence it accepts (result 1 GGA, 2 GSA, "
            "4 satellite list,\n8 RMC). Values never reported print as -1000. At the end of the "
            "file a last sentence\nwith its checksum counts even without a line end, and "
            "satellites still being listed\nare reported.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parser.positional().size() != 1) {
        return tool::usageError("nmea", "expected exactly one FILE", kUsage);
    }
    const std::string& name = parser.positional()[0];
    platform::InputFile in;
    if (!in.open(name)) {
        std::fprintf(stderr, "Cannot open file %s\n", name.c_str());
        return tool::kExitBadFile;
    }
    GpsReceiver receiver;
    std::fputs(
        "result,ggaTime,quality,satellitesUsed,latitude,longitude,altitude,geoidSeparation,"
        "fixType,pdop,hdop,vdop,rmcDateTime,speed,course,satellitesInView,satelliteCount,"
        "validity\n",
        stdout);
    // A night's log can be larger than the memory of a small board: it is read in pieces.
    std::array<uint8_t, 64 * 1024> chunk{};
    for (;;) {
        const int64_t n = in.read(chunk);
        if (n < 0) {
            std::fprintf(stderr, "zelkora-tool nmea: cannot read %s\n", name.c_str());
            return tool::kExitFailure;
        }
        if (n == 0) break;
        for (uint8_t c : std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n))) {
            const int32_t r = receiver.AddChar(c);
            if (r != 0) printRow(stdout, r, receiver.current(), receiver.validity());
        }
        // Output that cannot be written ends the run at once instead of parsing on for nothing.
        if (std::ferror(stdout)) return tool::kExitFailure;
    }
    if (const int32_t r = receiver.EndOfInput(); r != 0) {
        printRow(stdout, r, receiver.current(), receiver.validity());
    }
    return tool::kExitOk;
}

const tool::CommandRegistration kRegistration(
    {"nmea", "parse an NMEA log and print the fix after each accepted sentence", runNmea});

}  // namespace
