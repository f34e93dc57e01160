#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sequence/JulianTime.h"

class QXmlStreamWriter;

namespace tool {

// A night's survey as a map shows it: the GPS track in time order, cut into segments where
// the fix was lost, and the sequence files that carry a position as waypoints.
struct SurveyMap {
    // A lost fix longer than this starts a new segment.
    static constexpr int64_t kMaxGapUs = 60 * JulianTime::kSecond;

    struct Point {
        JulianTime utc;
        double latitude = 0;
        double longitude = 0;
        double altitude = 0;  // metres
    };
    struct Waypoint {
        Point at;
        std::string name;
        std::string description;
    };

    std::vector<std::vector<Point>> segments;
    std::vector<Waypoint> waypoints;

    // Reads a GPS track file as readTrackFile does (TrackFileInput.h); its exit status.
    int readTrack(const std::string& path);

    // The segments of `points`: sorted by time, cut where two neighbours lie more than
    // kMaxGapUs apart.
    static std::vector<std::vector<Point>> segmentsOf(std::vector<Point> points);

    // "YYYY-MM-DDTHH:MM:SS.ffffffZ" (or with whole seconds when the fraction is 0).
    static std::string isoUtc(JulianTime utc);

    // GPX 1.1 or KML 2.2, written as every output is (platform/OutputFile.h). False (with a
    // message) when it cannot be written.
    bool writeGpx(const std::string& out, const std::string& title) const;
    bool writeKml(const std::string& out, const std::string& title) const;

  private:
    void gpxBody(QXmlStreamWriter& xml, const std::string& title) const;
    void kmlBody(QXmlStreamWriter& xml, const std::string& title) const;
};

}  // namespace tool
