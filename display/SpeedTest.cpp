#include "display/SpeedTest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/AppSettings.h"
#include "display/GraphicsSurface.h"

namespace {

// Random plot coordinates kept 4 pixels inside the edges. `rand` reaches RAND_MAX, far
// beyond the 32767 of some C libraries: coordinates scaled by that would all lie outside the
// plot, and every timed dot and line would be skipped unseen.
int32_t randomWithin(int32_t size) {
    return static_cast<int32_t>(
        std::rand() * static_cast<double>(size - 8) / static_cast<double>(RAND_MAX) + 4.5);
}

}  // namespace

int32_t SpeedTest::RandomX() {
    return randomWithin(surface_.plotRect().width());
}

int32_t SpeedTest::RandomY() {
    return randomWithin(surface_.plotRect().height());
}

void SpeedTest::RandomDot(uint32_t colour) {
    const int32_t x = RandomX();
    const int32_t y = RandomY();
    if (s_.BigDots != 0) {
        surface_.PutDot(x, y, colour);
    } else {
        surface_.PutPixel(x, y, colour);
    }
}

double SpeedTest::TimePerOp(const std::function<void()>& op) {
    // Each count aims at a fifth more than the batch, from a first guess of five runs in
    // three fifths of it.
    const uint32_t batch = static_cast<uint32_t>(std::max(batchMs, 1));
    int64_t n = 5;
    uint32_t elapsed = batch * 3 / 5;
    do {
        n = static_cast<int64_t>(static_cast<double>(n) * (batch * 1.2) / (elapsed + 1) + 0.5);
        n = std::max<int64_t>(n, 1);
        const uint32_t start = host_.TickMs();
        for (int64_t i = 0; i < n; ++i) op();
        elapsed = host_.TickMs() - start;
    } while (elapsed < batch);
    return static_cast<double>(elapsed) / static_cast<double>(n) * 0.001;
}

void SpeedTest::Run() {
    if (!host_.AskOkCancel(kQuestion)) return;
    host_.StopClock();
    const uint32_t dot = surface_.ToDeviceColour(s_.Cdots);
    const uint32_t bar = surface_.ToDeviceColour(s_.Cybars);
    const uint32_t back = surface_.ToDeviceColour(s_.Cback);
    auto twoRandoms = [this] {
        volatile int32_t x = RandomX();
        volatile int32_t y = RandomY();
        (void)x;
        (void)y;
    };
    // The first second warms the processor up (its clock rises under load): a baseline
    // taken cold comes out slower than the loop really is, and the quick operations measured
    // against it (a dot in memory costs a nanosecond or two) would come out negative.
    TimePerOp(twoRandoms);
    const double firstBase = TimePerOp(twoRandoms);
    const double clear = TimePerOp([&] {
        twoRandoms();
        surface_.Clear(back);
    });
    const double pixel = TimePerOp([&] { RandomDot(dot); });
    const double ybar = TimePerOp([&] { surface_.HorizontalLine(RandomY(), bar); });
    const double blit = TimePerOp([&] {
        RandomDot(dot);
        surface_.Present(host_.Window());
    });
    const double margins = TimePerOp([&] {
        twoRandoms();
        surface_.BlitMargins(host_.Window());
    });
    const double sleep = TimePerOp([&] {
        twoRandoms();
        host_.SleepZero();
    });
    const double paint = TimePerOp([&] {
        RandomDot(dot);
        host_.PaintPending();
    });
    // The loop's cost once more at the end: on a busy machine one of the two may have been
    // slowed by other work, and a baseline too high hides the quick operations; the lower
    // is the loop's own cost.
    const double base = std::min(firstBase, TimePerOp(twoRandoms));
    host_.ShowResult(ResultText({pixel - base, ybar - base, clear - base, blit - pixel,
                                 margins - base, sleep - base, paint - pixel}));
    host_.RedrawPlot();
    host_.StartClock();
}

std::string SpeedTest::FormatTime(double t) {
    char text[32];
    if (t > 1) {
        std::snprintf(text, sizeof text, "%6.2f s ", t);
    } else if (t > 0.001) {
        std::snprintf(text, sizeof text, "%6.2f ms", t * 1e3);
    } else if (t > 1e-6) {
        std::snprintf(text, sizeof text, "%6.2f us", t * 1e6);
    } else if (t > 1e-9) {
        std::snprintf(text, sizeof text, "%6.2f ns", t * 1e9);
    } else {
        // An operation as quick as the loop around it can be measured comes out at a
        // nanosecond or less, or below nothing when other work slowed the baseline; it is
        // still reported, as under the smallest figure the test can tell.
        return " <1.00 ns";
    }
    return text;
}

std::string SpeedTest::ResultText(const std::array<double, 7>& times) {
    static constexpr const char* kLabels[] = {"DrawPixel ", "DrawYbar  ", "ClearData ",
                                              "BlitData  ", "DrawDC    ", "Sleep     ",
                                              "PeekDraw  "};
    std::string text = "Results in time per op\n\n";
    for (size_t i = 0; i < times.size(); ++i) {
        text += kLabels[i];
        text += FormatTime(times[i]);
        text += "\n";
    }
    return text;
}
