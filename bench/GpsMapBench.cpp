// The map window's drawing on a 1920 x 1080 map area with a track of 100 000 points: a full
// redraw (the whole track in view), and the marker-only update that every fix inside the
// view costs. Draws into the image the window shows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "app/AppSettings.h"
#include "gps/GpsMap.h"
#include "platform/qt/ImageMapCanvas.h"

namespace {

constexpr int kPoints = 100000;

GpsFix fixAt(double latitude, double longitude) {
    GpsFix f;
    f.quality = 1;
    f.fixType = 3;
    f.satelliteCount = 8;
    f.satellitesUsed = 8;
    f.latitude = latitude;
    f.longitude = longitude;
    f.altitude = 20.0;
    return f;
}

// A data folder without a track file: the track is what the benchmark adds.
void useEmptyFolder() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "zelkora-map-bench-empty";
    std::filesystem::create_directories(folder);
    std::filesystem::remove(folder / "GPS.zlg");
    appSettings().GPath = folder.string() + "/";
}

// A night's wandering walk around a point near Sydney, about 10 km across.
void fillTrack(GpsMap& map) {
    for (int i = 0; i < kPoints; ++i) {
        const double t = i * 0.001;
        map.UpdateStatus(fixAt(-33.87 + 0.04 * std::sin(t * 1.3) + 0.005 * std::sin(t * 17.0),
                               151.21 + 0.05 * std::cos(t) + 0.005 * std::cos(t * 23.0)));
    }
}

void BM_MapFullRedraw100kPoints1920x1080(benchmark::State& state) {
    useEmptyFolder();
    appSettings().MapWidth = 0;  // the whole track
    GpsMap map;
    ImageMapCanvas canvas;
    canvas.resize(1920, 1080);
    map.Open(&canvas, {0, 0, 1920, 1080});
    map.Redraw();  // loads the (empty) track of the folder once
    fillTrack(map);
    for (auto _ : state) {
        map.Redraw();
        benchmark::DoNotOptimize(canvas.pixel(960, 540));
    }
    state.counters["points"] = map.pointCount();
}
BENCHMARK(BM_MapFullRedraw100kPoints1920x1080)->Unit(benchmark::kMillisecond);

void BM_MapMarkerMove(benchmark::State& state) {
    useEmptyFolder();
    appSettings().MapWidth = 0;
    GpsMap map;
    ImageMapCanvas canvas;
    canvas.resize(1920, 1080);
    map.Open(&canvas, {0, 0, 1920, 1080});
    map.Redraw();
    fillTrack(map);
    map.Redraw();
    const int32_t before = map.pointCount();
    int i = 0;
    for (auto _ : state) {
        ++i;
        map.UpdateStatus(fixAt(-33.87 + 0.0001 * (i % 50), 151.21 + 0.0001 * (i % 70)));
    }
    // Every update stayed in view, so none of them redrew the map.
    state.counters["added"] = map.pointCount() - before;
}
BENCHMARK(BM_MapMarkerMove)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
