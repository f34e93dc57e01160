// `map` on a walk across the meridian 180 (Fiji, Kiribati): the formats get longitudes they
// can hold, and the picture draws the walk across the meridian, not around the globe.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <array>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gps/TrackRecord.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {

std::string sh(const std::string& s) {
    return testing_support::quoted(s);
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(MapAntimeridian, WalkAcrossTheMeridianOf180) {
    TempDir dir;
    {
        // Eastwards from 179.99 E over 180 to 179.9905 W, moving north; every tenth second.
        std::ofstream out(dir.file("GPS.zlg"), std::ios::binary);
        for (int i = 0; i < 40; ++i) {
            TrackRecord r;
            r.year = 2026;
            r.month = 6;
            r.day = 12;
            r.timeMs = (20 * 3600 + i * 10) * 1000;
            r.latitudeE6 = -16500000 + 200 * i;
            const int lon = 179990000 + 500 * i;
            r.longitudeE6 = lon > 180000000 ? lon - 360000000 : lon;  // 180 itself stays
            r.status = '=';
            std::array<uint8_t, TrackRecord::kSize> bytes{};
            r.encode(bytes);
            out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
    }
    testing_support::Tool tool;
    const auto r = tool.run("map " + sh(dir.file("GPS.zlg")) + " --gpx " + sh(dir.file("w.gpx")) +
                            " --kml " + sh(dir.file("w.kml")) + " --png " + sh(dir.file("w.png")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string gpx = testing_support::readText(dir.file("w.gpx"));
    EXPECT_EQ(count(gpx, "<trkpt "), 40u);
    EXPECT_EQ(count(gpx, "lon=\"180."), 0u) << "180 is outside what GPX takes";
    EXPECT_EQ(count(gpx, "lon=\"-180.000000\""), 1u);
    EXPECT_EQ(count(testing_support::readText(dir.file("w.kml")), "-180.000000,"), 1u);
    if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
        const std::string schema =
            std::string(ZELKORA_SOURCE_DIR) + "/tests/tools/gpx-1.1-subset.xsd";
        EXPECT_EQ(std::system(("xmllint --noout --schema " + sh(schema) + " " +
                               sh(dir.file("w.gpx")) + " 2>/dev/null")
                                  .c_str()),
                  0);
    }

    // The walk is 2 km east and 900 m north: drawn across the meridian it fills the picture
    // both ways; drawn around the globe it would be a flat line 360 degrees long.
    QImage png(QString::fromStdString(dir.file("w.png")));
    ASSERT_FALSE(png.isNull());
    int top = png.height(), bottom = -1, left = png.width(), right = -1;
    for (int y = 40; y < png.height() - 40; ++y) {
        for (int x = 0; x < png.width(); ++x) {
            const QColor c = png.pixelColor(x, y);
            if (c.blue() > 120 && c.red() < 80) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GT(bottom - top, 200) << "the track is flat: drawn the long way round";
    EXPECT_GT(right - left, 500);
}

}  // namespace
