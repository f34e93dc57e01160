#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Canvas.h"

struct AppSettings;
class GraphicsSurface;

// The "GraphSpeed" test: how long the drawing back-end in use takes for a dot, a frequency
// bar, clearing the plot, presenting it, drawing the margins, a zero sleep and a whole paint
// through the window system. Each operation is timed for at least a second, the loop's own
// cost taken off, and the times are shown in one message.
class SpeedTest {
  public:
    static constexpr const char* kQuestion =
        "Testing Graphics speed\n\nTouch nothing till complete\nPress OK to continue\nCancel to "
        "quit";
    static constexpr int32_t kMeasurements = 8;

    // What the test needs of the window system.
    class Host {
      public:
        virtual ~Host() = default;
        virtual bool AskOkCancel(const std::string& text) = 0;
        virtual void ShowResult(const std::string& text) = 0;
        // The view's one-second timer.
        virtual void StopClock() = 0;
        virtual void StartClock() = 0;
        // A millisecond tick count.
        virtual uint32_t TickMs() = 0;
        // The platform's zero-length sleep.
        virtual void SleepZero() = 0;
        // Where a present and the margins go.
        virtual platform::WindowDc& Window() = 0;
        // Invalidates the view and handles the window system's events until none is left.
        virtual void PaintPending() = 0;
        // Draws the plot again from the file or recording shown.
        virtual void RedrawPlot() = 0;
    };

    SpeedTest(AppSettings& settings, GraphicsSurface& surface, Host& host)
        : s_(settings), surface_(surface), host_(host) {}

    // Asks first; does nothing more unless the answer is OK. The random dots and lines it
    // drew are gone once the result has been read: they could be taken for data.
    void Run();

    // Seconds per run of `op`: the count is calibrated until one batch lasts `batchMs`.
    double TimePerOp(const std::function<void()>& op);
    // A second on the device; the tests of the window take less.
    int32_t batchMs = 1000;

    // "Results in time per op\n\n" and one line per operation; `times` are in seconds, in the
    // order DrawPixel, DrawYbar, ClearData, BlitData, DrawDC, Sleep, PeekDraw.
    static std::string ResultText(const std::array<double, 7>& times);
    // s, ms, us or ns with two decimals; nothing for a time of a nanosecond or less (a
    // negative one included).
    static std::string FormatTime(double seconds);

  private:
    int32_t RandomX();
    int32_t RandomY();
    void RandomDot(uint32_t colour);

    AppSettings& s_;
    GraphicsSurface& surface_;
    Host& host_;
};
