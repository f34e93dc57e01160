// The viewer's drawing: a full redraw of a file of 16 383 dots in every view mode, and one
// 25 ms live tick with its present, on the frame-buffer path of the offscreen platform (no
// window-system composition). The tick takes its dots from the recorder's display queue, as
// the window does: 125 dots is the module's full line rate (about 5 000 intervals a second).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>
#include <fstream>
#include <memory>
#include <string>

#include "acquisition/DotQueue.h"
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
    scene.settings.HScaleRecord = static_cast<int32_t>(state.range(3));
    scene.view.OnInitialUpdate();
    scene.view.PrepareLive(1);
    const auto perTick = static_cast<int32_t>(state.range(2));
    // Sweeps down from 110 to 25 kHz, as calls one after another.
    std::vector<acquisition::DotPoint> sent(static_cast<size_t>(perTick));
    for (int32_t i = 0; i < perTick; ++i) {
        sent[static_cast<size_t>(i)] = {100, 110000000 - (i % 40) * 2125000};
    }
    acquisition::DotQueue queue;
    std::vector<int32_t> tick;
    tick.reserve(sent.size());
    QPainter painter(&scene.host.image());
    platform::qt::QtWindowDc window(painter, scene.font);
    for (auto _ : state) {
        state.PauseTiming();
        for (const acquisition::DotPoint& p : sent) queue.push(p);
        state.ResumeTiming();
        const acquisition::DotQueue::TickState begun = queue.beginTick();
        tick.clear();
        acquisition::DotPoint p;
        for (int32_t i = 0; i < begun.count && queue.takeOldest(p); ++i)
            tick.push_back(p.frequency);
        scene.view.LiveTick(tick);
        scene.view.PaintWithoutHint(window);
    }
    state.counters["dots"] = perTick;
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
    ->Args({1920, 1080, 125, 1})
    ->Args({1920, 1080, 125, 4})
    ->Args({1920, 1080, 4096, 1})
    ->Args({640, 480, 125, 1})
    ->ArgNames({"w", "h", "dots", "dpc"})
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
