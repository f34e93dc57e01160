#include "tools/zelkora-tool/SurveyMap.h"

#include <QBuffer>
#include <QByteArray>
#include <QXmlStreamWriter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "gps/TrackRecord.h"
#include "tools/zelkora-tool/ToolFiles.h"
#include "tools/zelkora-tool/TrackFileInput.h"

namespace tool {

namespace {

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// Latitude and longitude as the formats want them: the track's millionths of a degree.
QString degrees(double value) {
    return number(value, 6);
}

// GPX and KML take longitudes from -180 up to but not including 180: the meridian 180 is
// written as -180, which is the same line.
QString longitude(double value) {
    return degrees(value >= 180 ? value - 360 : value);
}

// Makes the document `root` in the default namespace `ns` whole in memory, `body` filling
// the root element, and writes it as every output is written.
template <typename Body>
bool writeXmlFile(const std::string& out, const char* ns, const char* root, Body body) {
    QByteArray text;
    QBuffer buffer(&text);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(ns);
    xml.writeStartElement(root);
    body(xml);
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError()) {
        std::fprintf(stderr, "Cannot write file %s: the XML could not be made\n", out.c_str());
        return false;
    }
    return writeOutput(out, text);
}

}  // namespace

int SurveyMap::readTrack(const std::string& path) {
    std::vector<Point> points;
    const int status = readTrackFile("map", path, [&points](const TrackRecord& r) {
        Point p;
        p.utc = JulianTime::fromDate(r.year, r.month, r.day) + int64_t{r.timeMs} * 1000;
        p.latitude = r.latitudeE6 / 1e6;
        p.longitude = r.longitudeE6 / 1e6;
        p.altitude = r.altitudeMm / 1000.0;
        // A position no map can place (a damaged or unset record) is left out.
        const bool placeable = std::abs(p.latitude) <= 90 && std::abs(p.longitude) <= 180;
        if (p.utc.isValid() && placeable) points.push_back(p);
    });
    segments = segmentsOf(std::move(points));
    return status;
}

std::vector<std::vector<SurveyMap::Point>> SurveyMap::segmentsOf(std::vector<Point> points) {
    // Stable, so that records logged within one millisecond keep their order.
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.utc < b.utc; });
    std::vector<std::vector<Point>> out;
    for (size_t i = 0; i < points.size(); ++i) {
        if (i == 0 || (points[i].utc - points[i - 1].utc).value() > kMaxGapUs) out.emplace_back();
        out.back().push_back(points[i]);
    }
    return out;
}

std::string SurveyMap::isoUtc(JulianTime utc) {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, micro = 0;
    if (!utc.isValid() || !utc.dateFields(year, month, day)) return {};
    utc.timeFields(hour, minute, second, micro);
    char text[48];
    if (micro == 0) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hour,
                      minute, second);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", year, month, day,
                      hour, minute, second, micro);
    }
    return text;
}

bool SurveyMap::writeGpx(const std::string& out, const std::string& title) const {
    return writeXmlFile(out, "http://www.topografix.com/GPX/1/1", "gpx",
                        [&](QXmlStreamWriter& xml) { gpxBody(xml, title); });
}

void SurveyMap::gpxBody(QXmlStreamWriter& xml, const std::string& title) const {
    xml.writeAttribute("version", "1.1");
    xml.writeAttribute("creator", "zelkora-tool");
    xml.writeStartElement("metadata");
    xml.writeTextElement("name", QString::fromStdString(title));
    xml.writeEndElement();
    // The schema wants a point's elevation before its time, and name before desc.
    auto pointBody = [&xml](const Point& p) {
        xml.writeAttribute("lat", degrees(p.latitude));
        xml.writeAttribute("lon", longitude(p.longitude));
        xml.writeTextElement("ele", number(p.altitude, 3));
        const std::string time = isoUtc(p.utc);
        if (!time.empty()) xml.writeTextElement("time", QString::fromStdString(time));
    };
    for (const Waypoint& w : waypoints) {
        xml.writeStartElement("wpt");
        pointBody(w.at);
        xml.writeTextElement("name", QString::fromStdString(w.name));
        xml.writeTextElement("desc", QString::fromStdString(w.description));
        xml.writeEndElement();
    }
    if (!segments.empty()) {
        xml.writeStartElement("trk");
        xml.writeTextElement("name", QString::fromStdString(title));
        for (const auto& segment : segments) {
            xml.writeStartElement("trkseg");
            for (const Point& p : segment) {
                xml.writeStartElement("trkpt");
                pointBody(p);
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
}

bool SurveyMap::writeKml(const std::string& out, const std::string& title) const {
    return writeXmlFile(out, "http://www.opengis.net/kml/2.2", "kml",
                        [&](QXmlStreamWriter& xml) { kmlBody(xml, title); });
}

void SurveyMap::kmlBody(QXmlStreamWriter& xml, const std::string& title) const {
    xml.writeStartElement("Document");
    xml.writeTextElement("name", QString::fromStdString(title));
    auto coordinates = [](const Point& p) {
        return longitude(p.longitude) + ',' + degrees(p.latitude) + ',' + number(p.altitude, 3);
    };
    if (!segments.empty()) {
        xml.writeStartElement("Placemark");
        xml.writeTextElement("name", QString::fromStdString(title));
        xml.writeStartElement("MultiGeometry");
        for (const auto& segment : segments) {
            // A line needs two points; a lone fix between gaps stays on the map as a point.
            xml.writeStartElement(segment.size() > 1 ? "LineString" : "Point");
            if (segment.size() > 1) xml.writeTextElement("tessellate", "1");
            QStringList text;
            for (const Point& p : segment) text << coordinates(p);
            xml.writeTextElement("coordinates", text.join(' '));
            xml.writeEndElement();
        }
        xml.writeEndElement();
        xml.writeEndElement();
    }
    for (const Waypoint& w : waypoints) {
        xml.writeStartElement("Placemark");
        xml.writeTextElement("name", QString::fromStdString(w.name));
        xml.writeTextElement("description", QString::fromStdString(w.description));
        const std::string time = isoUtc(w.at.utc);
        if (!time.empty()) {
            xml.writeStartElement("TimeStamp");
            xml.writeTextElement("when", QString::fromStdString(time));
            xml.writeEndElement();
        }
        xml.writeStartElement("Point");
        xml.writeTextElement("coordinates", coordinates(w.at));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

}  // namespace tool
