// `map` on a walk across the meridian 180 (Fiji, Kiribati): the formats get longitudes they
// can hold, and the picture draws the walk across the meridian, not around the globe.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/TempDir.h"
#include "support/ToolRunner.h"
#include "support/TrackLog.h"

namespace {

TEST(MapAntimeridian, WalkAcrossTheMeridianOf180) {
    TempDir dir;
    {
        // Eastwards from 179.99 E over 180 to 179.9905 W, moving north; every tenth second.
        std::ofstream out(dir.file("GPS.zlg"), std::ios::binary);
        for (int i = 0; i < 40; ++i) {
            const int lon = 179990000 + 500 * i;  // 180 itself stays
            testing_support::appendTrackRecord(
                out, testing_support::trackRecordAt(10 * i, -16500000 + 200 * i,
                                                    lon > 180000000 ? lon - 360000000 : lon));
        }
    }
    testing_support::Tool tool;
    const auto r = tool.run("map " + testing_support::quoted(dir.file("GPS.zlg")) + " --gpx " +
                            testing_support::quoted(dir.file("w.gpx")) + " --kml " +
                            testing_support::quoted(dir.file("w.kml")) + " --png " +
                            testing_support::quoted(dir.file("w.png")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string gpx = testing_support::readText(dir.file("w.gpx"));
    EXPECT_EQ(testing_support::occurrences(gpx, "<trkpt "), 40u);
    EXPECT_EQ(testing_support::occurrences(gpx, "lon=\"180."), 0u)
        << "180 is outside what GPX takes";
    EXPECT_EQ(testing_support::occurrences(gpx, "lon=\"-180.000000\""), 1u);
    EXPECT_EQ(
        testing_support::occurrences(testing_support::readText(dir.file("w.kml")), "-180.000000,"),
        1u);
    if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
        const std::string schema =
            std::string(ZELKORA_SOURCE_DIR) + "/tests/tools/gpx-1.1-subset.xsd";
        EXPECT_EQ(std::system(("xmllint --noout --schema " + testing_support::quoted(schema) + " " +
                               testing_support::quoted(dir.file("w.gpx")) + " 2>/dev/null")
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
