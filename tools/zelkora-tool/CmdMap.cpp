// zelkora-tool map GPS.zlg [DIR] --gpx OUT | --kml OUT: a night's track and recordings for
// mapping programs. `map DIR ...` maps recordings that came without a track (imported ones).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "display/CallMeasurements.h"
#include "platform/qt/OffscreenGuiApp.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/OrderedWork.h"
#include "tools/zelkora-tool/ProgressLine.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/SurveyMap.h"
#include "tools/zelkora-tool/SurveyMapPicture.h"
#include "tools/zelkora-tool/ToolArgs.h"
#include "tools/zelkora-tool/ToolFiles.h"

namespace {

constexpr const char* kUsage =
    "zelkora-tool map (GPS.zlg [DIR] | DIR) (--gpx OUT | --kml OUT | --png OUT)...\n"
    "       [--filter LEVEL] [--fmin KHZ] [--fmax KHZ] [-j N]";

std::string describe(const std::vector<CallMeasurements::Call>& calls) {
    if (calls.empty()) return "0 calls";
    char text[96];
    std::snprintf(text, sizeof text, "%zu call%s, median fchar %.1f kHz", calls.size(),
                  calls.size() == 1 ? "" : "s", CallMeasurements::MedianFchar(calls));
    return text;
}

// The waypoint of a sequence file that carries a position and a start time.
bool waypointOf(const std::string& path, const tool::LoadedSequence& s,
                const tool::ShownDots& shown, tool::SurveyMap::Waypoint& out) {
    double latitude = 0, longitude = 0;
    int32_t altitude = 0;
    if (!s.header.hasStartTime || !s.header.position.decode(latitude, longitude, altitude)) {
        return false;
    }
    const SequenceStartTime& t = s.header.start;
    out.at.utc = JulianTime::utcFromLocal(JulianTime::fromDateTime(
        t.year, t.month, t.day, t.hour, t.minute, t.second, t.microsecond()));
    out.at.latitude = latitude;
    out.at.longitude = longitude;
    out.at.altitude = altitude;
    out.name = std::filesystem::path(path).filename().string();
    const DotStore& d = *s.dots;
    // The count and the median fchar are all it prints, so the knee is not sought.
    out.description = describe(CallMeasurements::Find(d.times, d.frequency, d.count, shown.level,
                                                      shown.fminMhz, shown.fmaxMhz, false,
                                                      CallMeasurements::Detail::kCharacteristic));
    return true;
}

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({"--gpx", "--kml", "--png", "--filter", "--fmin", "--fmax", "--jobs"},
                          {});
    if (!parsed.parse(args)) return tool::usageError("map", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Writes the GPS track file as a GPX 1.1 track (--gpx) and/or a KML 2.2 line\n"
            "(--kml), in time order, in segments cut where the fix was lost for more than a\n"
            "minute. Each sequence file in DIR with a position becomes a waypoint: its name,\n"
            "its start time in UTC and, as description, its number of calls and their median\n"
            "fchar (see 'calls'; --filter, --fmin and --fmax as there). Start times are the\n"
            "recorder's local clock and are turned into UTC by this machine's time zone (TZ).\n"
            "Given a folder alone (files imported from recordings have no track), only its\n"
            "waypoints are written.\n"
            "--png draws the track and waypoints on a plain background, 1000 x 700 pixels.\n"
            "-j N, --jobs N: files read at once (default: the number of cores).\n",
            kUsage);
        return tool::kExitOk;
    }
    const auto& positional = parsed.positional();
    if (positional.empty() || positional.size() > 2) {
        return tool::usageError("map", "expected GPS.zlg and at most one folder", kUsage);
    }
    const auto gpx = parsed.value("--gpx");
    const auto kml = parsed.value("--kml");
    const auto png = parsed.value("--png");
    if (!gpx && !kml && !png) return tool::usageError("map", "no output given", kUsage);
    const std::optional<int> jobs = tool::jobsOption(parsed);
    if (!jobs) return tool::usageError("map", parsed.error(), kUsage);
    tool::ShownDots shown;
    std::string error;
    if (!tool::shownDotsFromSettings(parsed, shown, error)) {
        return tool::usageError("map", error, kUsage);
    }

    // A track file is never a folder, so a folder alone is the recordings without a track.
    std::error_code ec;
    const bool trackless =
        positional.size() == 1 && std::filesystem::is_directory(positional[0], ec);
    const std::optional<std::string> track =
        trackless ? std::nullopt : std::optional<std::string>(positional[0]);
    const std::optional<std::string> folder =
        trackless
            ? std::optional<std::string>(positional[0])
            : (positional.size() == 2 ? std::optional<std::string>(positional[1]) : std::nullopt);
    bool failed = false;
    std::vector<std::string> paths;
    if (folder) {
        if (!std::filesystem::is_directory(*folder, ec)) {
            return tool::usageError("map", "not a folder: " + *folder, kUsage);
        }
        paths = tool::sequencePaths({*folder}, failed);
    }
    std::vector<std::string> inputs = paths;
    if (track) inputs.push_back(*track);
    std::vector<std::string> outputs;
    for (const auto& out : {gpx, kml, png}) {
        if (out) outputs.push_back(*out);
    }
    if (int status = tool::refuseOutputOverInputs("map", outputs, inputs); status != 0) {
        return status;
    }

    tool::SurveyMap map;
    if (track) {
        if (int status = map.readTrack(*track); status != tool::kExitOk) return status;
    }
    tool::ProgressLine progress("map", static_cast<int64_t>(paths.size()));
    struct FileWork {
        tool::LoadedSequence loaded;
        tool::SurveyMap::Waypoint waypoint;
        bool isWaypoint = false;
        std::string message;  // why the file could not be read
    };
    std::vector<FileWork> perSlot(tool::OrderedWork::slotCount(*jobs));
    auto work = [&](size_t index, size_t slot) {
        FileWork& w = perSlot[slot];
        w.message.clear();
        w.isWaypoint =
            tool::loadSequenceFile(paths[index], w.loaded, &w.message) == tool::kExitOk &&
            waypointOf(paths[index], w.loaded, shown, w.waypoint);
    };
    tool::OrderedWork::run(paths.size(), *jobs, work, [&](size_t, size_t slot) {
        FileWork& w = perSlot[slot];
        if (!w.message.empty()) {
            progress.clear();
            std::fputs(w.message.c_str(), stderr);
            failed = true;
        } else if (w.isWaypoint) {
            map.waypoints.push_back(std::move(w.waypoint));
        }
        progress.step();
    });
    // An empty map is still written, as other commands print an empty table: a script
    // going through the nights finds every night's file. A folder without sequence files was
    // said already.
    if (trackless && map.waypoints.empty() && !paths.empty()) {
        std::fprintf(stderr, "zelkora-tool map: no sequence file in %s carries a position\n",
                     folder->c_str());
    }
    std::filesystem::path named = std::filesystem::path(positional[0]).lexically_normal();
    if (!named.has_filename()) named = named.parent_path();  // "NIGHT/"
    const std::string title = named.filename().string();
    if (gpx && !map.writeGpx(*gpx, title)) return tool::kExitFailure;
    if (kml && !map.writeKml(*kml, title)) return tool::kExitFailure;
    if (png) {
        const platform::qt::OffscreenGuiApp app;
        if (!tool::drawSurveyMap(map, title, 1000, 700, *png)) return tool::kExitFailure;
    }
    return failed ? tool::kExitBadFile : tool::kExitOk;
}

const tool::CommandRegistration registration{
    {"map", "write a GPS track and the recordings on it as GPX, KML or a PNG map", &run}};

}  // namespace
