#include "gps/GpsMap.h"

#include <gtest/gtest.h>

#include <fstream>

#include "GpsTestSupport.h"
#include "gps/TrackRecord.h"

namespace {

using gps_test::ImageCanvas;

GpsFix fixAt(double lat, double lon, int32_t quality = 1, int32_t fixType = 3) {
    GpsFix f;
    f.latitude = lat;
    f.longitude = lon;
    f.altitude = 545.4;
    f.quality = quality;
    f.fixType = fixType;
    f.satelliteCount = 9;
    f.satellitesInView = 7;
    f.satellitesUsed = 8;
    return f;
}

class MapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        appSettings().GPath = dir.folder();
        appSettings().MapWidth = 0;
        appSettings().MapBigDots = 0;
        map.InitMap(dir.folder());
    }
    void writeTrack(const std::vector<std::pair<double, double>>& points, size_t extra = 0) {
        std::ofstream out(dir.path() / "GPS.zlg", std::ios::binary);
        for (auto [lat, lon] : points) {
            std::array<uint8_t, 32> b{};
            TrackRecord::fromFix(JulianTime::fromDate(2026, 3, 5), fixAt(lat, lon), 5).encode(b);
            out.write(reinterpret_cast<const char*>(b.data()), 32);
        }
        out << std::string(extra, 'x');
    }
    gps_test::SettingsGuard guard;
    gps_test::TempFolder dir;
    GpsMap map;
};

TEST_F(MapTest, FixedScaleViewAtTheEquatorAndAtSixtyNorth) {
    ImageCanvas canvas(240, 260);
    map.Open(&canvas, {5, 20, 235, 250});  // 230 x 230
    map.UpdateStatus(fixAt(0.0, 10.0));
    map.SetScale(1000);
    EXPECT_EQ(map.scaleText(), "Scale:  1km");
    EXPECT_EQ(appSettings().MapWidth, 10000);
    GpsMap::View v = map.view();
    EXPECT_EQ(v.north - v.south, 9000);
    EXPECT_EQ(v.east - v.west, 9000);
    EXPECT_EQ(v.west, 10000000 - 4500);
    map.UpdateStatus(fixAt(60.0, 10.0));  // outside the view: redrawn around it
    v = map.view();
    EXPECT_EQ(v.north - v.south, 9000);
    EXPECT_NEAR(v.east - v.west, 18000, 2);
}

TEST_F(MapTest, WholeTrackOfOnePointShowsAHundredMetres) {
    writeTrack({{48.1173, 11.516667}});
    map.LoadTrack();
    ASSERT_EQ(map.pointCount(), 1);
    ImageCanvas canvas(200, 200);
    map.Open(&canvas, {0, 0, 200, 200});
    map.Redraw();
    EXPECT_EQ(map.view().north - map.view().south, 900);
    // The only point carries the 7 x 7 marker, its centre pixel kept in the marker store.
    EXPECT_EQ(canvas.count(appSettings().MapCcurrent), 49);
}

TEST_F(MapTest, LoadTrackReadsWholeRecordsAndWrapsTheDateLine) {
    writeTrack({{-17.0, 179.9}, {-17.0, -179.9}}, 20);
    map.LoadTrack();
    ASSERT_EQ(map.pointCount(), 2);
    EXPECT_TRUE(map.wrapped());
    EXPECT_EQ(map.trackPoints()[1].longitude, 180100000);
    EXPECT_EQ(map.lonMin(), 179900000);
    map.UpdateStatus(fixAt(-17.0, -179.8));
    EXPECT_EQ(map.trackPoints().back().longitude, 180200000);
    EXPECT_EQ(map.statusText(), "  3D  -17.00000   180.20000  Alt   545");
    EXPECT_EQ(map.satelliteText(), "Nsats =   8");
}

TEST_F(MapTest, WrapIsDetectedWhilePointsArrive) {
    map.UpdateStatus(fixAt(-17.0, 179.9));
    EXPECT_FALSE(map.wrapped());
    map.UpdateStatus(fixAt(-17.0, -179.9));
    EXPECT_TRUE(map.wrapped());
    EXPECT_EQ(map.trackPoints()[1].longitude, 180100000);
}

TEST_F(MapTest, StatusTexts) {
    GpsFix none = fixAt(1, 1);
    none.satelliteCount = 0;
    map.UpdateStatus(none);
    EXPECT_EQ(map.statusText(), "GPS - not getting data");
    EXPECT_EQ(map.satelliteText(), "Nsats ");
    EXPECT_EQ(map.pointCount(), 0);  // no satellite list: no point on the map
    GpsFix noFix = fixAt(1, 1, 0);
    map.UpdateStatus(noFix);
    EXPECT_EQ(map.statusText(), "Nofix  Up   9  In   7");
    EXPECT_EQ(map.pointCount(), 0);
    map.UpdateStatus(fixAt(48.1173, 11.516667, 2, 2));
    EXPECT_EQ(map.statusText(), " D2D   48.11730    11.51667  Alt   545");
    map.UpdateStatus(fixAt(48.1173, 11.516667, 3, 3));
    EXPECT_EQ(map.statusText().substr(0, 4), " P3D");
    map.UpdateStatus(fixAt(48.1173, 11.516667, 1, 1));
    EXPECT_EQ(map.statusText().substr(0, 5), "NoFix");
    EXPECT_EQ(map.pointCount(), 3);
    EXPECT_EQ(GpsMap::ScaleLabel(20000), "20km");
    EXPECT_EQ(GpsMap::ScaleLabel(300), "");
}

TEST_F(MapTest, RecentAndOlderPointsAndMarkerMoves) {
    ImageCanvas canvas(400, 400);
    map.Open(&canvas, {0, 0, 400, 400});
    const uint32_t track = appSettings().MapCtrack, recent = appSettings().MapCrecent,
                   current = appSettings().MapCcurrent;
    // 150 points along a line, far enough apart to have their own pixels.
    for (int i = 0; i < 150; ++i) map.UpdateStatus(fixAt(10.0 + i * 0.0001, 20.0 + i * 0.0001));
    map.Redraw();
    EXPECT_EQ(canvas.count(track), 50);    // points 1..50
    EXPECT_EQ(canvas.count(current), 49);  // the marker covers the newest point
    const int32_t recentBefore = canvas.count(recent);
    EXPECT_GE(recentBefore, 95);
    // A point inside the view moves the marker; the old position stays a recent dot.
    map.UpdateStatus(fixAt(10.0 + 149.5 * 0.0001, 20.0 + 149.5 * 0.0001));
    EXPECT_EQ(canvas.count(current), 49);
    EXPECT_GT(canvas.count(recent), recentBefore - 2);
    int32_t x = 0, y = 0;
    map.PointToPixel(map.trackPoints().back(), x, y);
    EXPECT_EQ(canvas.pixel(x, y), current);
}

TEST_F(MapTest, BigDotsAndMenuAndTaps) {
    appSettings().MapBigDots = 1;
    ImageCanvas canvas(300, 300);
    map.Open(&canvas, {0, 0, 300, 300});
    map.UpdateStatus(fixAt(10.0, 20.0));
    map.UpdateStatus(fixAt(10.001, 20.001));
    map.Redraw();
    EXPECT_EQ(canvas.count(appSettings().MapCcurrent), 81);
    EXPECT_EQ(canvas.count(appSettings().MapCrecent), 4);
    EXPECT_EQ(map.HandleMenuResult(103), GpsMap::MenuAction::ScaleChanged);
    EXPECT_EQ(map.scaleValue(), 5000);
    EXPECT_EQ(map.HandleMenuResult(111), GpsMap::MenuAction::ScaleChanged);
    EXPECT_EQ(map.scaleText(), "Scale:  All");
    EXPECT_EQ(map.HandleMenuResult(4), GpsMap::MenuAction::Close);
    EXPECT_EQ(map.HandleMenuResult(110), GpsMap::MenuAction::None);
    EXPECT_TRUE(GpsMap::TapOpensMenu(10, 290, 300, 300));
    EXPECT_FALSE(GpsMap::TapOpensMenu(100, 290, 300, 300));
    EXPECT_FALSE(GpsMap::TapOpensMenu(10, 200, 300, 300));
}

}  // namespace
