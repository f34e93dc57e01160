// The viewer's drawing: a full redraw of a file of 16 383 dots in every view mode, and one
// 25 ms live tick of 100 queued dots with its present, on the frame-buffer path of the
// offscreen platform (no window-system composition).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>
#include <fstream>
#include <memory>
#include <string>

#include "app/AppSettings.h"
#include "display/GraphicsSurface.h"
#include "display/PlotView.h"
#include "platform/qt/QtGraphics.h"
#include "platform/qt/QtViewFont.h"
#include "tests/display/SyntheticSequence.h"

namespace {

std::unique_ptr<DotStore> fullFile() {
    synthetic::CallPlan plan;
    plan.calls = 100000;  // stops at the store's capacity
    plan.dotsPerCall = 40;
    plan.noiseDots = 6;
    plan.gapMicros = 60000;
    auto dots = synthetic::makeCalls(plan);
    return dots;
}

// One viewer picture of `width` x `height` on the frame-buffer path.
struct Scene {
    AppSettings settings;
    QFont font = platform::qt::viewFont(96);
    platform::qt::ImageScreenHost host;
    platform::qt::QtGraphicsPlatform graphics;
    GraphicsSurface surface;
    PlotView view;
    std::unique_ptr<DotStore> dots = fullFile();

    Scene(int32_t width, int32_t height)
        : host(width, height),
          graphics(host, font),
          surface(graphics),
          view(settings, surface, graphics) {
        settings.GraphicsSystem = 2;
        surface.Init(settings.GraphicsSystem);
        view.SetBarHeight(0);
        view.SetSequence(dots.get());
        view.SetNameText("26061222.15#");
    }
};

enum Mode { kTrue, kComp, kAll, kDotsPerColumn };

void BM_FullRedraw(benchmark::State& state) {
    Scene scene(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
    AppSettings& s = scene.settings;
    s.Z = s.AllZ = 0;  // every dot in range is drawn
    switch (state.range(2)) {
        case kTrue:
            s.ViewCompressed = 0;
            s.HScaleTrue = 129;
            break;
        case kComp:
            s.ViewCompressed = 1;
            s.HScaleComp = 134;
            break;
        case kAll:
            s.SeeAllFile = 1;
            s.HScaleAll = 1;
            break;
        default:
            s.ViewCompressed = 1;
            s.HScaleComp = 1;
            break;
    }
    scene.view.OnInitialUpdate();
    if (!scene.view.layoutOk()) state.SkipWithError("layout refused");
    for (auto _ : state) {
        scene.view.FullRedraw();
        benchmark::DoNotOptimize(scene.surface.backBuffer().data());
    }
    state.counters["dots"] = scene.dots->count;
}

void BM_LiveTick(benchmark::State& state) {
    Scene scene(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
    scene.settings.HScaleRecord = 1;
    scene.view.OnInitialUpdate();
    scene.view.PrepareLive(1);
    std::vector<int32_t> queued(100);
    for (size_t i = 0; i < queued.size(); ++i)
        queued[i] = 30000000 + static_cast<int32_t>(i) * 500000;
    QPainter painter(&scene.host.image());
    platform::qt::QtWindowDc window(painter, scene.font);
    for (auto _ : state) {
        scene.view.LiveTick(queued);
        scene.view.PaintWithoutHint(window);
    }
}

const int64_t kModes[] = {kTrue, kComp, kAll, kDotsPerColumn};

void FullRedrawArgs(benchmark::internal::Benchmark* b) {
    for (int64_t mode : kModes) {
        b->Args({1920, 1080, mode});
        b->Args({640, 480, mode});
    }
}

}  // namespace

BENCHMARK(BM_FullRedraw)
    ->Apply(FullRedrawArgs)
    ->ArgNames({"w", "h", "mode"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveTick)
    ->Args({1920, 1080})
    ->Args({640, 480})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
