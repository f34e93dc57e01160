#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/CallFilter.h"
#include "display/DotPlacer.h"
#include "display/FrequencyAxis.h"
#include "display/SoftwareCanvas.h"
#include "display/StatusLine.h"
#include "display/TimeAxis.h"
#include "display/TimeScale.h"
#include "display/ViewMenus.h"

namespace {

TEST(FrequencyAxis, LogScaleSpansTheWholeNumberQuotient) {
    FrequencyAxis a;
    const int32_t h = 400;
    a.Configure(4000000, 210000000, true, h, 0, h - 1);
    // log10(52), not log10(52.5): the top row is 208 kHz.
    EXPECT_DOUBLE_EQ(a.freqScale(), h / std::log10(52.0));
    EXPECT_EQ(a.RowOfFrequency(208000000), 0);
    EXPECT_EQ(a.RowOfFrequency(209000000), 0);  // just above the top: truncated to row 0
    EXPECT_EQ(a.RowOfFrequency(215000000), -1);
    EXPECT_EQ(a.RowOfFrequency(4000000), -1);  // fMin falls on row H, not shown
    EXPECT_EQ(a.RowOfFrequency(4010000), -1);  // row 400: below the plot
    EXPECT_EQ(a.RowOfFrequency(4050000), h - 1);
    EXPECT_EQ(a.RowOfFrequency(0), -1);
    EXPECT_EQ(a.RowOfFrequency(-5), -1);
    // One decade is freqScale rows.
    EXPECT_NEAR(a.RowOfFrequency(40000000), h + 0.5 - a.freqScale(), 1.0);
}

TEST(FrequencyAxis, LinearScaleAndUnmappableRanges) {
    FrequencyAxis a;
    a.Configure(0, 100000000, false, 200, 0, 198);
    EXPECT_EQ(a.RowOfFrequency(50000000), 100);
    EXPECT_EQ(a.RowOfFrequency(100000000), 0);
    EXPECT_EQ(a.RowOfFrequency(1000000), 198);
    a.Configure(50000000, 50000000, false, 200, 0, 199);
    EXPECT_EQ(a.RowOfFrequency(50000000), -1);
    a.Configure(0, 50000000, true, 200, 0, 199);  // log of nothing
    EXPECT_EQ(a.RowOfFrequency(10000000), -1);
    a.Configure(40000000, 60000000, true, 200, 0, 199);  // quotient 1: the real ratio
    EXPECT_EQ(a.RowOfFrequency(60000000), 0);
    EXPECT_EQ(a.RowOfFrequency(59900000), 1);
}

TEST(FrequencyAxis, GridLinesAndTheirLabels) {
    FrequencyAxis a;
    a.Configure(4000000, 210000000, true, 400, 0, 399);
    a.BuildBars(14);
    // 400 / log10(52) = 233 pixels a decade > 14 * 12.7: the third set of mantissas.
    ASSERT_GT(a.bars().size(), 0u);
    std::vector<std::string> labels;
    for (const auto& b : a.bars()) {
        EXPECT_GT(b.row, 0);
        if (!b.label.empty()) labels.push_back(b.label);
    }
    // The first line in range is 5 kHz (decade 100, mantissa 50).
    EXPECT_EQ(a.bars().front().row, a.RowOfFrequency(5000000));
    EXPECT_NE(std::find(labels.begin(), labels.end(), "100"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), " 12"), labels.end());
    // 200 kHz lies 3 rows below the top: drawn, but too near the edge for a label.
    const auto& top = a.bars().back();
    EXPECT_EQ(top.row, a.RowOfFrequency(200000000));
    EXPECT_TRUE(top.label.empty());

    // Linear, steps of 200 Hz: at most 128 lines, the 129th is dropped.
    a.Configure(0, 200000000, false, 10000, 0, 9999);
    a.BuildBars(1);
    EXPECT_EQ(a.bars().size(), 128u);
    EXPECT_EQ(a.bars().back().row, a.RowOfFrequency(128 * 200 * 1000));
    EXPECT_EQ(a.bars()[4].label, "  1");  // 1000 Hz, a whole kHz
    EXPECT_EQ(a.bars()[6].label, "");     // 1400 Hz has no label
    EXPECT_EQ(a.bars()[0].label, "200");  // below 1 kHz in Hz

    // A scale too small for any set gets no lines.
    a.Configure(4000000, 210000000, true, 10, 0, 9);
    a.BuildBars(14);
    EXPECT_TRUE(a.bars().empty());
}

TEST(TimeScale, TableAndTheWalksOfFinerAndCoarser) {
    EXPECT_EQ(TimeScale::ColumnTime(129), 25000);
    EXPECT_EQ(TimeScale::ColumnTime(137), 63);
    EXPECT_EQ(TimeScale::ColumnTime(138), 25);
    EXPECT_STREQ(TimeScale::Label(138), "F0");
    EXPECT_STREQ(TimeScale::Label(3), "D3");
    EXPECT_STREQ(TimeScale::Label(77), "D1");
    EXPECT_EQ(TimeScale::ColumnTime(77), 25000);

    // Compressed: F1 .. F10, Dpp4 .. Dpp1, and back.
    std::vector<int32_t> walk{129};
    while (true) {
        const int32_t next = TimeScale::Finer(walk.back(), false, true);
        if (next == walk.back()) break;
        walk.push_back(next);
    }
    EXPECT_EQ(walk,
              (std::vector<int32_t>{129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 4, 3, 2, 1}));
    EXPECT_EQ(TimeScale::Coarser(4, false, true), 138);
    EXPECT_EQ(TimeScale::Coarser(129, false, true), 129);
    // True time stops at F10; live and all file only walk Dpp.
    EXPECT_EQ(TimeScale::Finer(138, false, false), 138);
    EXPECT_EQ(TimeScale::Finer(1, true, false), 1);
    EXPECT_EQ(TimeScale::Coarser(3, true, false), 4);
    EXPECT_EQ(TimeScale::Coarser(4, true, false), 4);
}

// Times of a call: `n` dots `interval` µs apart starting at `start`.
void appendCall(std::vector<int32_t>& t, int32_t start, int32_t n, int32_t interval) {
    for (int32_t i = 0; i < n; ++i) t.push_back(start + i * interval);
}

TEST(CallFilter, StepsBetweenLevels) {
    EXPECT_EQ(CallFilter::NextLevel(4, 1), 0);
    EXPECT_EQ(CallFilter::NextLevel(2, 1), 3);
    EXPECT_EQ(CallFilter::NextLevel(4, 3), 4);
    EXPECT_EQ(CallFilter::NextLevel(0, -1), 4);
    EXPECT_EQ(CallFilter::NextLevel(0, -3), 0);
    EXPECT_EQ(CallFilter::NextLevel(3, 2), 0);
    EXPECT_EQ(CallFilter::NextLevel(3, 0), 3);
}

TEST(CallFilter, KeepsSmoothCallsAndHidesNoise) {
    std::vector<int32_t> t{0};
    appendCall(t, 1000, 20, 100);  // dots 1..20: a steady call
    // Dots 21..28: irregular noise.
    for (int32_t d : {5000, 5100, 9000, 9050, 15000, 15400, 15420, 30000}) t.push_back(d);
    const auto count = static_cast<int32_t>(t.size());
    std::vector<int32_t> rows(t.size(), 50);
    CallFilter::Thin(t, count, 2, rows);
    for (int32_t i = 3; i <= 20; ++i) EXPECT_EQ(rows[i], 50) << i;
    EXPECT_EQ(rows[0], 0);
    EXPECT_EQ(rows[1], 0);  // never kept by any judgement (needs i - 2 >= 2)
    for (int32_t i = 23; i < count; ++i) EXPECT_EQ(rows[i], 0) << i;
    std::vector<int32_t> all(t.size(), 50);
    CallFilter::Thin(t, count, 0, all);
    EXPECT_EQ(all, std::vector<int32_t>(t.size(), 50));
    // Out-of-range dots stay out of range.
    std::vector<int32_t> some(t.size(), -1);
    CallFilter::Thin(t, count, 2, some);
    EXPECT_EQ(some[24], -1);
}

struct Sequence {
    std::vector<int32_t> t, rows;
    DotPlacer::Input input(int32_t lastColumn, int32_t scale, int32_t columnTime) const {
        return {t, rows, static_cast<int32_t>(t.size()), lastColumn, scale, columnTime};
    }
    void call(int32_t start, int32_t n, int32_t interval, int32_t row) {
        for (int32_t i = 0; i < n; ++i) {
            t.push_back(start + i * interval);
            rows.push_back(row);
        }
    }
    void gap(int32_t time) {
        t.push_back(time);
        rows.push_back(0);
    }
};

// Three calls of 10 dots 100 µs apart, 10 ms apart, each preceded by a hidden dot.
Sequence threeCalls() {
    Sequence s;
    s.gap(0);
    s.gap(10);
    for (int32_t c = 0; c < 3; ++c) {
        s.gap(c * 10000 + 500);
        s.call(c * 10000 + 1000, 10, 100, 20 + c);
    }
    s.gap(40000);
    s.gap(40010);
    s.gap(40020);
    s.gap(40030);
    return s;
}

TEST(DotPlacer, TrueTimeColumnsFollowTheClock) {
    const Sequence s = threeCalls();
    std::vector<int32_t> first(100);
    std::vector<std::pair<int32_t, int32_t>> put;
    DotPlacer::Screen screen;
    DotPlacer::Place(s.input(99, 129, 250), DotPlacer::Mode::TrueTime, screen, first,
                     [&](int32_t x, int32_t y) { put.emplace_back(x, y); });
    // firstIndex moved on to the first shown dot (index 3, time 1000).
    EXPECT_EQ(screen.firstIndex, 3);
    ASSERT_EQ(put.size(), 30u);
    EXPECT_EQ(put[0], std::make_pair(0, 20));
    EXPECT_EQ(put[3].first, 1);    // 1300 µs: column 1
    EXPECT_EQ(put[10].first, 40);  // the second call at 11000 µs
    EXPECT_EQ(first[40], 14);
    EXPECT_EQ(first[99], screen.lastIndex);
}

TEST(DotPlacer, CompressedTakesNoRoomForSilence) {
    const Sequence s = threeCalls();
    std::vector<int32_t> first(100);
    std::vector<std::pair<int32_t, int32_t>> put;
    DotPlacer::Screen screen;
    DotPlacer::Place(s.input(99, 134, 625), DotPlacer::Mode::Compressed, screen, first,
                     [&](int32_t x, int32_t y) { put.emplace_back(x, y); });
    ASSERT_EQ(put.size(), 30u);
    // 10 dots over 900 µs at 625 µs a column: columns 0 and 1; the next call 2 further on.
    EXPECT_EQ(put[0].first, 0);
    EXPECT_EQ(put[6].first, 0);  // 1600 µs is still before 1000 + 625
    EXPECT_EQ(put[7].first, 1);
    EXPECT_EQ(put[10].first, 3);
    EXPECT_EQ(put[20].first, 6);
    EXPECT_EQ(screen.lastIndex, 34);
}

TEST(DotPlacer, DotsPerColumnAllFileAndLeftward) {
    const Sequence s = threeCalls();
    std::vector<int32_t> first(10);
    std::vector<std::pair<int32_t, int32_t>> put;
    auto rec = [&](int32_t x, int32_t y) { put.emplace_back(x, y); };
    DotPlacer::Screen screen;
    DotPlacer::Place(s.input(9, 3, 25000), DotPlacer::Mode::DotsPerColumn, screen, first, rec);
    ASSERT_EQ(put.size(), 30u);  // 10 columns x 3 dots: the screen is full
    EXPECT_EQ(put[2].first, 0);
    EXPECT_EQ(put[3].first, 1);
    EXPECT_EQ(put[29].first, 9);

    // All file at 2 dots a column over 10 columns: 30 dots wrap once to column 5.
    put.clear();
    DotPlacer::Place(s.input(9, 2, 25000), DotPlacer::Mode::AllFile, screen, first, rec);
    ASSERT_EQ(put.size(), 30u);
    EXPECT_EQ(put[19].first, 9);
    EXPECT_EQ(put[20].first, 0);
    EXPECT_EQ(put[29].first, 4);

    // Leftward from the last dot of the second call: it ends at the last column.
    put.clear();
    DotPlacer::Screen left{23, 0, true};
    DotPlacer::Place(s.input(9, 1, 25000), DotPlacer::Mode::DotsPerColumn, left, first, rec);
    ASSERT_EQ(put.size(), 10u);
    EXPECT_EQ(put[0].first, 9);
    EXPECT_EQ(put[0].second, 21);
    EXPECT_EQ(left.lastIndex, 23);   // the right edge
    EXPECT_EQ(left.firstIndex, 14);  // the leftmost dot drawn
}

TEST(DotPlacer, SteppingByScreensAndCalls) {
    const Sequence s = threeCalls();  // calls at 3..12, 14..23, 25..34; 39 dots
    const auto in = s.input(9, 1, 25000);
    DotPlacer::Screen screen{3, 0, false};
    DotPlacer::CallRight(in, screen);
    EXPECT_EQ(screen.firstIndex, 14);
    DotPlacer::CallRight(in, screen);
    EXPECT_EQ(screen.firstIndex, 25);
    DotPlacer::CallRight(in, screen);  // never beyond count - 4
    EXPECT_EQ(screen.firstIndex, 35);
    DotPlacer::CallLeft(in, screen);
    EXPECT_EQ(screen.firstIndex, 25);
    DotPlacer::CallLeft(in, screen);
    EXPECT_EQ(screen.firstIndex, 14);

    // A screen that ends inside the second call starts the next screen at that call.
    screen = {3, 17, false};
    DotPlacer::ScreenRight(in, screen);
    EXPECT_EQ(screen.firstIndex, 14);
    // A call wider than the screen still moves on.
    screen = {14, 20, false};
    DotPlacer::ScreenRight(in, screen);
    EXPECT_EQ(screen.firstIndex, 21);
    // Left from the third call: the screen ends at the end of the second call.
    screen = {25, 34, false};
    DotPlacer::ScreenLeft(in, screen);
    EXPECT_TRUE(screen.leftward);
    EXPECT_EQ(screen.firstIndex, 23);
}

TEST(StatusLine, FieldsTextsAndClock) {
    const StatusLine::Fields f = StatusLine::Layout({0, 226, 320, 241}, 24, 32, 8);
    EXPECT_EQ(f.name, (platform::PixelRect{2, 227, 92, 240}));
    EXPECT_EQ(f.scale.left, 96);
    EXPECT_EQ(f.scale.right, 113);
    EXPECT_EQ(f.mode.right, 113 + 41);
    EXPECT_EQ(f.clock.left, 320 - 2 - 68 - 2);
    EXPECT_EQ(f.liveText.right, 113 + 80);
    // A narrow line: the live field shrinks.
    const StatusLine::Fields narrow = StatusLine::Layout({0, 226, 240, 241}, 24, 32, 8);
    EXPECT_EQ(narrow.liveText.right, 113 + 57);

    EXPECT_EQ(StatusLine::LiveWord(1, true, false, false), "Monitoring");
    EXPECT_EQ(StatusLine::LiveWord(0, false, false, false), "Record");
    EXPECT_EQ(StatusLine::LiveWord(0, true, true, true), "W & O");
    EXPECT_EQ(StatusLine::LiveWord(0, true, true, false), "Waste");
    EXPECT_EQ(StatusLine::ClockText(-1000, 12, 34, 56), "  1234:56");
    EXPECT_EQ(StatusLine::ClockText(5, 7, 8, 9), "G 0708:09");
    EXPECT_EQ(StatusLine::GpsLetter(-2), '?');
    EXPECT_EQ(StatusLine::GpsLetter(2), ' ');
    // The fix classes of the GPS poll; -1 is its "not connected".
    EXPECT_EQ(StatusLine::GpsLetter(-1), ' ');
    EXPECT_EQ(StatusLine::GpsLetter(0), '-');
    EXPECT_EQ(StatusLine::GpsLetter(3), 'd');
    EXPECT_EQ(StatusLine::GpsLetter(7), 'D');
}

TEST(TimeAxis, LabelSpacingFitsThePlot) {
    // 25 ms a column over 775 columns: 19.4 s; labels of 4 characters at 8 pixels.
    auto s = TimeAxis::ChooseSpacing(25000LL * 775, 775, 32);
    EXPECT_EQ(s.step, 1000000);
    EXPECT_EQ(TimeAxis::Label(3000000, s.decade), "3");
    s = TimeAxis::ChooseSpacing(625LL * 775, 775, 32);
    EXPECT_EQ(s.step, 50000);
    EXPECT_EQ(TimeAxis::Label(150000, s.decade), " 0.15");
    s = TimeAxis::ChooseSpacing(25LL * 100, 100, 32);
    EXPECT_EQ(s.decade, 1000);
    EXPECT_EQ(TimeAxis::Label(1000, 1000), " 0.001");
    s = TimeAxis::ChooseSpacing(int64_t{1} << 40, 50, 32);  // nothing fits: 50 s
    EXPECT_EQ(s.step, 50000000);

    // The 19 s label's tick lies 4 pixels inside the view's right edge (800): its number,
    // 16 pixels wide, is left out rather than cut to "1"; the 18 s label is drawn.
    SoftwareCanvas canvas(840, 24);
    canvas.fillRect({0, 0, 840, 24}, 0xFFFFFF);
    TimeAxis::Draw(canvas, {0, 0, 800, 24}, {36, 0, 800, 0}, 0, 25000, 32, 14, 0, 0xFFFFFF);
    auto inked = [&](int32_t from, int32_t to) {
        for (int32_t x = from; x < to; ++x) {
            for (int32_t y = 9; y < 24; ++y) {
                if (canvas.at(x, y) == 0) return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(inked(752, 768));
    EXPECT_FALSE(inked(790, 840));
}

}  // namespace

namespace {

TEST(ViewMenus, GraphicsChecksFollowSettingAndBackEnd) {
    // "Best" chosen, the frame buffer in use: both "Best" and "GAPI" are checked.
    EXPECT_TRUE(ViewMenus::GraphicsChecked(0, 0, GraphicsBackEnd::Gapi));
    EXPECT_TRUE(ViewMenus::GraphicsChecked(2, 0, GraphicsBackEnd::Gapi));
    EXPECT_FALSE(ViewMenus::GraphicsChecked(1, 0, GraphicsBackEnd::Gapi));
    // "DirectDraw" chosen but refused: the painter's item is the one checked.
    EXPECT_FALSE(ViewMenus::GraphicsChecked(1, 1, GraphicsBackEnd::DeviceContext));
    EXPECT_TRUE(ViewMenus::GraphicsChecked(3, 1, GraphicsBackEnd::DeviceContext));
    EXPECT_FALSE(ViewMenus::GraphicsChecked(0, 1, GraphicsBackEnd::DeviceContext));
}

TEST(ViewMenus, TimeItemsPerMode) {
    // True time: Comp and F-scales enabled, Dpp disabled.
    auto s = ViewMenus::TimeItem(0, false, false, false, 130);
    EXPECT_TRUE(s.enabled);
    EXPECT_FALSE(s.checked);
    EXPECT_TRUE(ViewMenus::TimeItem(130, false, false, false, 130).checked);
    EXPECT_FALSE(ViewMenus::TimeItem(2, false, false, false, 130).enabled);
    // Compressed: all enabled, Comp checked.
    EXPECT_TRUE(ViewMenus::TimeItem(0, false, false, true, 2).checked);
    EXPECT_TRUE(ViewMenus::TimeItem(2, false, false, true, 2).checked);
    // Live or all file: only Dpp.
    EXPECT_FALSE(ViewMenus::TimeItem(0, true, false, false, 1).enabled);
    EXPECT_FALSE(ViewMenus::TimeItem(129, false, true, false, 1).enabled);
    EXPECT_TRUE(ViewMenus::TimeItem(1, false, true, false, 1).checked);
}

}  // namespace
