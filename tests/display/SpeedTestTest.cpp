// The graphics speed test's calibration, its question and its result text, on a fake clock.
#include "display/SpeedTest.h"

#include <gtest/gtest.h>

#include "app/AppSettings.h"
#include "display/GraphicsSurface.h"
#include "tests/display/FakeGraphics.h"

namespace {

// Each tick read moves the clock on by `step` ms; the window records what it is asked.
class FakeHost : public SpeedTest::Host {
  public:
    bool answer = true;
    uint32_t now = 0, step = 1;
    int stops = 0, starts = 0, paints = 0, sleeps = 0;
    std::string asked, result;
    fake::Window window{320, 240};
    bool AskOkCancel(const std::string& text) override {
        asked = text;
        return answer;
    }
    void ShowResult(const std::string& text) override { result = text; }
    void StopClock() override { ++stops; }
    void StartClock() override { ++starts; }
    uint32_t TickMs() override { return now += step; }
    void SleepZero() override { ++sleeps; }
    platform::WindowDc& Window() override { return window; }
    void PaintPending() override { ++paints; }
    void RedrawPlot() override {}
};

// A figure at or below a nanosecond (or below nothing, when other work slowed the
// baseline) is still reported, as under the smallest figure that can be told.
TEST(SpeedTest, TimesAreWrittenInTheirUnitAndTinyOnesAsUnderANanosecond) {
    EXPECT_EQ(SpeedTest::FormatTime(2.5), "  2.50 s ");
    EXPECT_EQ(SpeedTest::FormatTime(0.0125), " 12.50 ms");
    EXPECT_EQ(SpeedTest::FormatTime(3.5e-6), "  3.50 us");
    EXPECT_EQ(SpeedTest::FormatTime(42e-9), " 42.00 ns");
    EXPECT_EQ(SpeedTest::FormatTime(1e-9), " <1.00 ns");
    EXPECT_EQ(SpeedTest::ResultText({1e-6 * 2, -1, 0.002, 0, 0, 0, 3}),
              "Results in time per op\n\nDrawPixel   2.00 us\nDrawYbar   <1.00 ns\n"
              "ClearData   2.00 ms\nBlitData   <1.00 ns\nDrawDC     <1.00 ns\n"
              "Sleep      <1.00 ns\nPeekDraw    3.00 s \n");
}

TEST(SpeedTest, CalibrationRunsUntilABatchLastsASecond) {
    AppSettings settings;
    fake::Platform platform;
    GraphicsSurface surface(platform);
    FakeHost host;
    SpeedTest test(settings, surface, host);
    // An operation of 10 ms on a clock that only moves with the operations.
    int runs = 0;
    host.step = 0;
    const double t = test.TimePerOp([&] {
        ++runs;
        host.now += 10;
    });
    EXPECT_NEAR(t, 0.010, 1e-9);
    EXPECT_GE(runs, 100);
    // An operation slower than a second still ends (the count never falls to nothing).
    runs = 0;
    EXPECT_NEAR(test.TimePerOp([&] {
        ++runs;
        host.now += 5000;
    }),
                5.0, 1e-9);
}

TEST(SpeedTest, CancelDrawsNothingAndOkMeasuresEverythingBetweenTheClockStops) {
    AppSettings settings;
    settings.GraphicsSystem = 2;
    fake::Platform platform;
    platform.giveFrameBuffer();
    GraphicsSurface surface(platform);
    ASSERT_EQ(surface.Init(settings.GraphicsSystem), 0);
    ASSERT_EQ(surface.Setup({0, 0, 320, 240}, {40, 10, 320, 220}), 0);
    FakeHost host;
    host.answer = false;
    SpeedTest test(settings, surface, host);
    test.Run();
    EXPECT_EQ(host.asked, SpeedTest::kQuestion);
    EXPECT_EQ(host.stops, 0);
    EXPECT_EQ(host.paints, 0);
    EXPECT_TRUE(host.result.empty());

    host.answer = true;
    host.step = 1000;  // every batch lasts a second
    test.Run();
    EXPECT_EQ(host.stops, 1);
    EXPECT_EQ(host.starts, 1);
    EXPECT_GT(host.paints, 0);
    EXPECT_GT(host.sleeps, 0);
    EXPECT_EQ(host.result.rfind("Results in time per op\n\nDrawPixel ", 0), 0u);
    EXPECT_NE(host.result.find("\nPeekDraw  "), std::string::npos);
}

}  // namespace
