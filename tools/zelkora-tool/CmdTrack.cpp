// zelkora-tool track FILE: a GPS track file as CSV.
#include <cstdio>
#include <string>
#include <vector>

#include "gps/TrackRecord.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"
#include "tools/zelkora-tool/TrackFileInput.h"

namespace {

constexpr const char* kUsage = "zelkora-tool track FILE";

int runTrack(const std::vector<std::string>& args) {
    tool::ToolArgs parser({}, {});
    if (!parser.parse(args)) return tool::usageError("track", parser.error(), kUsage);
    if (parser.helpRequested()) {
        std::printf(
            "usage: %s\n\nPrints a GPS track file (GPS.zlg, 32-byte records) as CSV, one row per "
            "record:\n"
            "  date          YYYY-MM-DD of the device clock in UTC (years 2000-2099)\n"
            "  time_ms       time of day in milliseconds\n"
            "  latitude_e6, longitude_e6   degrees x 1 000 000\n"
            "  altitude_mm   metres above mean sea level x 1000\n"
            "  status        the status character: 5 fix, 6 differential, = 3D, > 3D "
            "differential\n"
            "  satellites    satellites used\n"
            "  pdop10, hdop10, vdop10   dilutions x 10; 65535 = never reported\n"
            "A part record at the end (a write cut off, or a logger still writing) is left\n"
            "out quietly; a record that cannot be read (a tear a logger wrote on after) ends\n"
            "the reading, and records with an impossible date or time are skipped: both are\n"
            "said on standard error.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parser.positional().size() != 1) {
        return tool::usageError("track", "expected exactly one FILE", kUsage);
    }
    const std::string& name = parser.positional()[0];
    return tool::readTrackFile(
        "track", name,
        [](const TrackRecord& r) {
            std::printf("%04d-%02d-%02d,%d,%d,%d,%d,%c,%u,%u,%u,%u\n", r.year, r.month, r.day,
                        r.timeMs, r.latitudeE6, r.longitudeE6, r.altitudeMm, r.status,
                        static_cast<unsigned>(r.satellites), static_cast<unsigned>(r.pdop10),
                        static_cast<unsigned>(r.hdop10), static_cast<unsigned>(r.vdop10));
        },
        [] {
            std::printf(
                "date,time_ms,latitude_e6,longitude_e6,altitude_mm,status,satellites,pdop10,"
                "hdop10,vdop10\n");
        });
}

const tool::CommandRegistration kRegistration({"track", "print a GPS track file (GPS.zlg) as CSV",
                                               runTrack});

}  // namespace
