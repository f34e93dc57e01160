#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "display/LiveRingReader.h"
#include "display/PlotView.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceFile.h"
#include "tests/display/FakeGraphics.h"
#include "tests/display/SyntheticSequence.h"

namespace {

using Rect = platform::PixelRect;

// A view of 320 x 240 on a frame buffer (text cells 8 x 14, so "000" is 24 wide).
class ViewTest : public ::testing::Test {
  protected:
    AppSettings settings;
    fake::Platform platform;
    std::unique_ptr<GraphicsSurface> surface;
    std::unique_ptr<PlotView> view;
    std::unique_ptr<DotStore> dots;
    std::vector<std::string> messages;
    platform::MessageHandler previous;

    void SetUp() override {
        previous = platform::setMessageHandler(
            [this](const std::string& text, platform::MessageIcon) { messages.push_back(text); });
        platform.giveFrameBuffer();
        settings.GraphicsSystem = 2;
        surface = std::make_unique<GraphicsSurface>(platform);
        ASSERT_EQ(surface->Init(settings.GraphicsSystem), 0);
        view = std::make_unique<PlotView>(settings, *surface, platform);
        view->SetBarHeight(0);
        synthetic::CallPlan plan;
        plan.calls = 6;
        dots = synthetic::makeCalls(plan);
        view->SetSequence(dots.get());
        view->SetNameText("26061222.15#");
    }
    void TearDown() override { platform::setMessageHandler(previous); }

    uint16_t shown(int32_t x, int32_t y) {  // the frame buffer after a paint
        return platform.frameBuffer.pixel(x, y);
    }
    uint16_t plotPixel(int32_t x, int32_t y) {
        return surface->backBuffer()[static_cast<size_t>(y * view->plotRect().width() + x)];
    }
};

TEST_F(ViewTest, LayoutPlacesPlotStripsAndStatusLine) {
    ASSERT_TRUE(view->Layout());
    EXPECT_EQ(view->statusRect(), (Rect{0, 225, 320, 240}));
    EXPECT_EQ(view->timeAxisRect(), (Rect{0, 204, 320, 225}));
    EXPECT_EQ(view->plotRect(), (Rect{26, 0, 320, 204}));
    EXPECT_EQ(view->lastColumn(), 292);  // big dots leave the last column free
    EXPECT_EQ(view->axis().rowMax(), 202);
    settings.BigDots = 0;
    ASSERT_TRUE(view->Layout());
    EXPECT_EQ(view->lastColumn(), 293);
    // The handheld's bars come off the screen when not in full screen.
    view->SetBarHeight(26);
    ASSERT_TRUE(view->Layout());
    EXPECT_EQ(view->plotRect().top, 26);
    EXPECT_EQ(view->statusRect().bottom, 214);
    // Too small a plot refuses the layout.
    platform.height = 80;
    platform.giveFrameBuffer();
    surface->Reset(2);
    EXPECT_FALSE(view->Layout());
}

TEST_F(ViewTest, GridLinesAndLabelsLieOnTheirRows) {
    view->OnInitialUpdate();
    fake::Window w(platform.width, platform.height);
    view->PaintWithoutHint(w);
    const uint16_t bar = surface->ToDeviceColour(settings.Cybars);
    const uint16_t back = surface->ToDeviceColour(settings.Cback);
    ASSERT_FALSE(view->axis().bars().empty());
    for (const auto& b : view->axis().bars()) {
        EXPECT_EQ(shown(200, b.row), bar) << b.row;  // right of the calls
        EXPECT_EQ(shown(319, b.row), bar) << b.row;
        EXPECT_EQ(view->rowColour()[static_cast<size_t>(b.row)], bar);
    }
    EXPECT_EQ(shown(319, 0), back);  // the top row holds no line
    // A labelled line has its text (right-aligned, cell 8 wide) just left of the plot.
    const auto* canvas = static_cast<const SoftwareCanvas*>(surface->canvas());
    const uint16_t ink = SoftwareCanvas::To565(settings.Cscale);
    int labelled = 0;
    for (const auto& b : view->axis().bars()) {
        if (b.label.empty() || b.label[2] == ' ') continue;
        EXPECT_EQ(canvas->at(22, b.row), ink) << b.label;  // last glyph's block
        ++labelled;
    }
    EXPECT_GT(labelled, 3);
}

TEST_F(ViewTest, DotsFallWhereTheirRowsAndColumnsSay) {
    settings.BigDots = 0;
    settings.SeeAllFile = 0;
    settings.ViewCompressed = 0;
    settings.HScaleTrue = 133;  // 1250 µs a column
    settings.Z = 0;
    view->OnInitialUpdate();
    const uint16_t dot = surface->ToDeviceColour(settings.Cdots);
    const auto rows = view->rowOfDot();
    const int32_t first = view->firstIndex();
    ASSERT_GT(rows[static_cast<size_t>(first)], 0);
    for (int32_t i = first; i <= view->lastIndex(); ++i) {
        const int32_t col = (dots->times[i] - dots->times[first]) / 1250;
        if (rows[static_cast<size_t>(i)] > 0) {
            EXPECT_EQ(plotPixel(col, rows[i]), dot) << i;
        }
    }
    // The first dot of the screen is found under its column (for taps).
    EXPECT_EQ(view->columnFirstDot()[0], first);
}

TEST_F(ViewTest, AFileThatFailsTheFilterDrawsGridOnly) {
    settings.Z = 5;
    auto noise = std::make_unique<DotStore>();
    int32_t t = 0;
    for (int32_t i = 0; i < 200; ++i) {
        t += i % 3 == 2 ? 900 : 100;  // no four intervals of it make a smooth run
        noise->times[i] = t;
        noise->frequency[i] = 50000000;
    }
    noise->count = 200;
    view->SetSequence(noise.get());
    view->OnInitialUpdate();
    const uint16_t dot = surface->ToDeviceColour(settings.Cdots);
    for (int32_t r : view->rowOfDot()) ASSERT_LE(r, 0);
    for (uint16_t px : surface->backBuffer()) ASSERT_NE(px, dot);
    // Step 1 from 4 goes to 0 and shows everything again.
    view->StepFilter(-1);
    EXPECT_EQ(view->filterLevel(), 4);
    view->StepFilter(1);
    EXPECT_EQ(view->filterLevel(), 0);
    EXPECT_EQ(settings.Z, 0);
    int32_t shownDots = 0;
    for (int32_t r : view->rowOfDot()) shownDots += r > 0;
    EXPECT_EQ(shownDots, 200);
    EXPECT_EQ(plotPixel(0, view->rowOfDot()[0]), dot);
}

TEST_F(ViewTest, LiveSweepKeepsAGapAheadAndRestoresGridLines) {
    settings.BigDots = 16;
    settings.HScaleRecord = 1;
    view->OnInitialUpdate();
    ASSERT_EQ(view->PrepareLive(1), 0);
    const uint16_t dot = surface->ToDeviceColour(settings.Cdots);
    const int32_t barRow = view->axis().bars()[3].row;
    const int32_t f = 60000000;
    const int32_t row = view->RowOfFrequency(f);
    // Out of range: dropped without moving the write position.
    view->AddLiveDot(1000);
    EXPECT_EQ(view->writeColumn(), 0);
    for (int32_t i = 0; i < 600; ++i) {
        // Every fifth dot on a grid line: erasing it must give the line back.
        view->AddLiveDot(i % 5 == 0 ? 0 : f);
        if (i % 5 == 0) {
            view->AddLiveDot(0);
        }
        const int32_t ahead = (view->writeColumn() + 4) % (view->lastColumn() + 1);
        ASSERT_NE(plotPixel(ahead, row), dot) << i;
        ASSERT_EQ(view->liveRow(0, ahead), -1);
    }
    // Dots on a grid line's row.
    const int32_t fBar = [&] {
        for (int32_t g = 5000000; g < 200000000; g += 10000) {
            if (view->RowOfFrequency(g) == barRow) return g;
        }
        return 0;
    }();
    ASSERT_NE(fBar, 0);
    const uint16_t bar = surface->ToDeviceColour(settings.Cybars);
    const int32_t column = view->writeColumn();
    view->AddLiveDot(fBar);
    EXPECT_EQ(plotPixel(column, barRow), dot);
    const int32_t columns = view->lastColumn() + 1;
    for (int32_t i = 0; i < columns - 4; ++i) view->AddLiveDot(f);
    EXPECT_EQ(plotPixel(column, barRow), bar);  // the line is back
    EXPECT_EQ(plotPixel(column, barRow + 1), view->rowColour()[static_cast<size_t>(barRow + 1)]);
}

TEST_F(ViewTest, LiveWithSeveralDotsPerColumnAndRedrawFromTheRing) {
    settings.BigDots = 0;
    settings.HScaleRecord = 3;
    view->OnInitialUpdate();
    std::vector<int32_t> ring;
    for (int32_t i = 0; i < 3000; ++i) ring.push_back(i % 7 == 0 ? 500 : 40000000 + i * 1000);
    view->liveReader = [&](std::span<int32_t> out) {
        const auto n = std::min(out.size(), ring.size());
        for (size_t k = 0; k < n; ++k) out[k] = ring[ring.size() - 1 - k];  // newest first
        return static_cast<int32_t>(n);
    };
    ASSERT_EQ(view->PrepareLive(0), 0);
    EXPECT_EQ(view->dotsPerColumn(), 3);
    EXPECT_EQ(view->writeColumn(), 0);
    EXPECT_EQ(view->subSlot(), 1);
    const int32_t last = view->lastColumn();
    // The newest displayable value in the highest plane of the last column.
    EXPECT_EQ(view->liveRow(2, last), view->RowOfFrequency(ring.back()));
    EXPECT_EQ(view->liveRow(1, last), view->RowOfFrequency(ring[ring.size() - 2]));
    EXPECT_GE(view->liveRow(0, 8), 0);
    EXPECT_EQ(view->liveRow(0, 7), -1);  // history stops before column 8
    const uint16_t dot = surface->ToDeviceColour(settings.Cdots);
    EXPECT_EQ(plotPixel(last, view->liveRow(2, last)), dot);

    const int32_t f = 50000000, row = view->RowOfFrequency(f);
    for (int32_t i = 0; i < 3 * 50; ++i) {
        view->AddLiveDot(f);
        const int32_t ahead = (view->writeColumn() + 6) % (last + 1);
        if (view->subSlot() == 2) {
            for (int32_t p = 0; p < 3; ++p) ASSERT_EQ(view->liveRow(p, ahead), -1);
        }
    }
    EXPECT_EQ(view->writeColumn(), 50);
    EXPECT_EQ(plotPixel(49, row), dot);
}

TEST_F(ViewTest, LiveDotsOnTheTopRowAreDrawnFileDotsAreNot) {
    settings.BigDots = 0;
    settings.Z = 0;
    view->OnInitialUpdate();
    // Every dot of the file at a frequency of row 0.
    int32_t top = 0;
    for (int32_t f = 200000000; f < 215000000 && top == 0; f += 1000) {
        if (view->RowOfFrequency(f) == 0) top = f;
    }
    ASSERT_NE(top, 0);
    for (int32_t i = 0; i < dots->count; ++i) dots->frequency[i] = top;
    view->SetSequence(dots.get());
    view->OnFileLoaded();
    const uint16_t dot = surface->ToDeviceColour(settings.Cdots);
    for (int32_t x = 0; x <= view->lastColumn(); ++x) ASSERT_NE(plotPixel(x, 0), dot);
    view->PrepareLive(1);
    view->AddLiveDot(top);
    EXPECT_EQ(plotPixel(0, 0), dot);
    EXPECT_EQ(view->writeColumn(), 1);
}

TEST_F(ViewTest, LiveStatusWordsFollowTheirCountdowns) {
    platform.width = 400;  // "Monitoring" (80 pixels) fits in the live field
    platform.giveFrameBuffer();
    surface->Reset(2);
    view->OnInitialUpdate();
    view->PrepareLive(0);
    EXPECT_EQ(view->StatusContent().liveText, "Recording");
    EXPECT_EQ(view->StatusContent().scaleText, "D1");
    view->NoteWaste();
    EXPECT_TRUE(view->statusMarked());
    for (int i = 0; i < 3; ++i) view->LiveTick({});
    view->NoteOverflow();
    EXPECT_EQ(view->StatusContent().liveText, "W & O");
    for (int i = 0; i < 6; ++i) view->LiveTick({});
    EXPECT_EQ(view->StatusContent().liveText, "O'Flow");  // the waste word has had its ticks
    for (int i = 0; i < 3; ++i) view->LiveTick({});
    EXPECT_EQ(view->StatusContent().liveText, "Recording");
    // A narrow screen: the short word.
    platform.width = 240;
    platform.giveFrameBuffer();
    surface->Reset(2);
    ASSERT_TRUE(view->Layout());
    EXPECT_EQ(view->StatusContent().liveText, "Record");
}

TEST_F(ViewTest, TheClockLeavesNothingOfTheTextBefore) {
    view->OnInitialUpdate();
    // What a wider text before left in the field ("( 0429:21)" after the GPS letter went).
    const Rect clock = view->statusFields().clock;
    auto* canvas = static_cast<SoftwareCanvas*>(surface->canvas());
    canvas->fillRect(clock, 0x0000FF);
    const uint16_t before = canvas->at(clock.left, clock.top);
    view->ClockTick(4, 29, 21);
    int32_t left = 0;
    for (int32_t y = clock.top; y < clock.bottom; ++y)
        for (int32_t x = clock.left; x < clock.right; ++x) left += canvas->at(x, y) == before;
    EXPECT_EQ(left, 0);
}

TEST_F(ViewTest, PaintMarksDecideWhatIsCopied) {
    view->OnInitialUpdate();
    fake::Window w(320, 240);
    EXPECT_TRUE(view->plotMarked());
    EXPECT_TRUE(view->marginsMarked());
    view->OnPaint(w);
    // Margins, plot, then the hint (strip, menu area, full-screen area).
    EXPECT_EQ(w.copies.size(), 2u);
    EXPECT_EQ(platform.frameBuffer.beginCount, 1);
    EXPECT_EQ(w.fills, 3);
    // A clock tick marks only the status line; the hint is drawn again over what is copied.
    view->ClockTick(12, 34, 56);
    fake::Window w2(320, 240);
    view->OnPaint(w2);
    ASSERT_EQ(w2.copies.size(), 1u);
    EXPECT_EQ(w2.copies[0].source, view->statusRect());
    EXPECT_EQ(platform.frameBuffer.beginCount, 1);
    EXPECT_EQ(w2.fills, 3);
    // A repaint by the window system (a window manager mapping or moving the window) still
    // carries the hint.
    fake::Window w3(320, 240);
    view->OnPaint(w3);
    EXPECT_EQ(w3.copies.size(), 2u);
    EXPECT_EQ(w3.fills, 3);
    // The user's first tap or key ends it: margins and plot are shown again without it.
    view->EndHint();
    EXPECT_TRUE(view->plotMarked());
    EXPECT_TRUE(view->marginsMarked());
    fake::Window w4(320, 240);
    view->OnPaint(w4);
    EXPECT_EQ(w4.copies.size(), 2u);
    EXPECT_EQ(platform.frameBuffer.beginCount, 3);
    EXPECT_EQ(w4.fills, 0);
}

TEST_F(ViewTest, TheHintGoesWhollyWhenThePlotChanges) {
    // A recording started with the window: the hint is drawn over the live display's first
    // picture, its menu area across the frequency labels at the bottom left. The painter
    // path draws everything on the window, so the window shows what a user would see.
    surface->Reset(3);
    ASSERT_EQ(surface->GetBackEnd(), GraphicsBackEnd::DeviceContext);
    view->OnInitialUpdate();
    view->PrepareLive(1);
    fake::Window w(320, 240);
    view->OnPaint(w);
    ASSERT_TRUE(view->hintUp());
    const int32_t x = 2, y = view->statusRect().top - 30;
    const uint16_t hint = w.picture.at(x, y);
    // The first dots mark only the plot; the labels must come back with them.
    const std::vector<int32_t> dots{50'000'000, 51'000'000};  // 50 and 51 kHz
    view->LiveTick(dots);
    view->OnPaint(w);
    EXPECT_NE(w.picture.at(x, y), hint);
    // And only once: later ticks copy no more than the plot and the status line.
    view->LiveTick(dots);
    fake::Window next(320, 240);
    view->OnPaint(next);
    for (const auto& copy : next.copies) {
        if (copy.source != view->statusRect()) {
            EXPECT_GT(copy.source.left, x);
        }
    }
}

TEST_F(ViewTest, ARefusedLayoutFallsBackToThePainterWithAMessage) {
    // A native surface twice as wide as the screen but a window that is not: no direct copy.
    platform.nativeSurface.available = true;
    platform.nativeSurface.shape(500, 240, 2, 1000);
    surface->Reset(1);
    ASSERT_EQ(surface->GetBackEnd(), GraphicsBackEnd::DirectDraw);
    view->OnInitialUpdate();
    EXPECT_TRUE(view->layoutOk());
    EXPECT_EQ(surface->GetBackEnd(), GraphicsBackEnd::DeviceContext);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Cannot get valid DC \n Cannot start graphics");
    // The "Graphics" menu: setting, hint, back-end.
    view->ChooseGraphics(2);
    EXPECT_EQ(settings.GraphicsSystem, 2);
    EXPECT_TRUE(view->hintUp());
    EXPECT_EQ(surface->GetBackEnd(), GraphicsBackEnd::Gapi);
}

TEST_F(ViewTest, ModesKeepTheirScalesAndFilters) {
    settings.HScaleComp = 134;
    settings.HScaleTrue = 130;
    settings.HScaleAll = 2;
    settings.Z = 1;
    settings.AllZ = 3;
    view->OnInitialUpdate();
    view->ShowCompressed();
    EXPECT_EQ(view->timeScale(), 134);
    view->ScaleFiner();
    EXPECT_EQ(settings.HScaleComp, 135);
    view->ShowAllFile();
    EXPECT_EQ(view->timeScale(), 2);
    EXPECT_EQ(view->filterLevel(), 3);
    view->ScaleCoarser();
    EXPECT_EQ(settings.HScaleAll, 3);
    view->SetTimeScale(130);  // F-scales do nothing in the all-file mode
    EXPECT_EQ(view->timeScale(), 3);
    view->ShowTrueTime();
    EXPECT_EQ(view->timeScale(), 130);
    EXPECT_EQ(view->filterLevel(), 1);
    view->SetTimeScale(PlotView::kTimeCommandComp);
    EXPECT_TRUE(view->compressed());
    EXPECT_EQ(view->scaleLabel(), "F7");
    // Into the whole file and back to compressed time with its own scale.
    view->ToggleAllFile();
    EXPECT_TRUE(view->allFile());
    EXPECT_EQ(view->StatusContent().modeText, "All");
    view->ToggleAllFile();
    EXPECT_FALSE(view->allFile());
    EXPECT_TRUE(view->compressed());
    EXPECT_EQ(view->timeScale(), 135);
}

TEST(LiveRingReader, CopiesTheNewestFrequenciesNewestFirst) {
    SequenceFile file;
    file.start(16, "", 2, 5, 5000000, false, false);
    file.reset();
    file.addFirstInterval(100000, JulianTime::fromDate(2026, 6, 1));
    for (int32_t i = 0; i < 50; ++i) file.addInterval(100 + i);
    std::vector<int32_t> out(10);
    ASSERT_EQ(LiveRingReader::ReadNewestFirst(file, out), 10);
    // The newest dot: intervals 148 and 149, 16 × 10^9 / 297 mHz.
    EXPECT_NEAR(out[0], 16e9 / 297, 1.0);
    EXPECT_NEAR(out[1], 16e9 / 295, 1.0);
    std::vector<int32_t> all(1000);
    const int32_t n = LiveRingReader::ReadNewestFirst(file, all);
    EXPECT_GE(n, 51);
    EXPECT_LE(n, 53);
}

}  // namespace
