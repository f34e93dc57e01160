#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "display/DotPlacer.h"
#include "display/FrequencyAxis.h"
#include "display/GraphicsSurface.h"
#include "display/StatusLine.h"
#include "platform/Canvas.h"
#include "platform/GraphicsPlatform.h"

struct AppSettings;
struct DotStore;

// The viewer's drawing logic behind the window: layout of the view into plot, margins and
// strips, the frequency and time scales, the view modes and the stepping through a file,
// the dots (file and live) with the call filter, the status line, clock and hint, and the
// paint handler's marks. The window only forwards events here and shows what the surface
// holds.
class PlotView {
  public:
    using Rect = platform::PixelRect;

    static constexpr int32_t kBarHeight = 26;
    static constexpr int32_t kMinPlotSize = 40;

    // Commands of the Time menu besides the scale codes 1..4 and 129..138.
    static constexpr int32_t kTimeCommandComp = 0;

    PlotView(AppSettings& settings, GraphicsSurface& surface, platform::GraphicsPlatform& platform);

    // --- the document's data ---
    // The dots to draw (the document keeps them alive) and the text of the name field: the
    // name, after a notice such as "File Corrupt " (the name field widens for it).
    void SetSequence(const DotStore* dots);
    void SetNameText(std::string name, std::string notice = {});
    // First update: modes from the settings (all file when AllUse or SeeAllFile), layout.
    void OnInitialUpdate();
    // After a load: the screen starts at the beginning, mode per AllUse/ViewCompressed.
    void OnFileLoaded();

    // --- geometry and drawing ---
    bool Layout();
    void FullRedraw();
    void RecomputeRows();
    void ApplyFilter(int32_t step);
    void MakeColours();
    int32_t RowOfFrequency(int64_t f) const { return axis_.RowOfFrequency(f); }

    // --- Time menu, button menus and stepping (each saves the scale, lays out, redraws) ---
    void SetTimeScale(int32_t command);
    void ScaleFiner();
    void ScaleCoarser();
    void ShowCompressed();
    void ShowTrueTime();
    void ShowAllFile();
    // Into the all-file mode, or out of it back to the mode it was entered from.
    void ToggleAllFile();
    void ScreenRight();
    void ScreenLeft();
    void CallRight();
    void CallLeft();
    void StepFilter(int32_t step);
    void SaveScale();
    void SetFullScreen(bool on);
    // A "Graphics" menu choice: setting, hint pending, surface reset, layout and redraw.
    void ChooseGraphics(int32_t graphicsSystem);

    // --- live display ---
    // -1 when the view has not been laid out yet.
    int32_t PrepareLive(int32_t monitorMode);
    void EndLive();
    void AddLiveDot(int32_t frequency);
    // One display tick: the dots taken from the queue, oldest first.
    void LiveTick(std::span<const int32_t> frequencies);
    // Fills `out` with the newest recent frequencies, newest first, and returns how many;
    // the reader holds the recorder's lock while it copies.
    using RecentReader = std::function<int32_t(std::span<int32_t> out)>;
    void RedrawLive(const RecentReader& reader);
    // The reader a full redraw uses while live (the recorder's ring).
    RecentReader liveReader;
    void NoteWaste();
    void NoteOverflow();

    // --- status line and clock ---
    void DrawStatus();
    // The status line drawn again and shown (a new file name while live).
    void RefreshStatus();
    // What the status line shows now.
    StatusLine::Content StatusContent() const;
    void ClockTick(int32_t hour, int32_t minute, int32_t second);
    std::function<int32_t()> gpsState;  // the GPS link's state; none gives a space
    const std::string& clockText() const { return clockText_; }

    // --- painting ---
    // The paint handler: copies what is marked to `window`, then the start-up hint while it
    // is up.
    void OnPaint(platform::WindowDc& window);
    // The user's first tap or key: the hint goes with the next paint.
    void EndHint();
    // The window has lost what was copied to it (a window system that hands each paint a
    // buffer of its own): the next paint copies everything again.
    void MarkAllForPaint() { marginsDirty_ = plotDirty_ = true; }
    // A paint without the start-up hint (the picture the headless renderer writes).
    void PaintWithoutHint(platform::WindowDc& window);
    std::function<void()> invalidate;
    void SetClosing() { closing_ = true; }

    // --- state for the window, the tests and the tools ---
    bool layoutOk() const { return layoutOk_; }
    bool live() const { return live_; }
    bool allFile() const;
    bool compressed() const;
    int32_t timeScale() const { return timeScale_; }
    int32_t columnTime() const { return columnTime_; }
    const std::string& scaleLabel() const { return scaleLabel_; }
    int32_t filterLevel() const { return filterLevel_; }
    int32_t firstIndex() const { return screen_.firstIndex; }
    int32_t lastIndex() const { return screen_.lastIndex; }
    // The screen starts at dot `index`; leftward, it ends there.
    void SetFirstIndex(int32_t index, bool leftward = false);
    const Rect& viewRect() const { return viewRect_; }
    const Rect& plotRect() const { return plotRect_; }
    const Rect& statusRect() const { return statusRect_; }
    const Rect& timeAxisRect() const { return timeAxisRect_; }
    const StatusLine::Fields& statusFields() const { return fields_; }
    Rect menuArea() const;
    Rect fullScreenArea() const;
    int32_t plotHeight() const { return plotHeight_; }
    int32_t lastColumn() const { return lastColumn_; }
    int32_t textHeight() const { return textHeight_; }
    int32_t digits3Width() const { return digits3Width_; }
    const FrequencyAxis& axis() const { return axis_; }
    std::span<const int32_t> rowOfDot() const { return rowOfDot_; }
    std::span<const int32_t> columnFirstDot() const { return columnFirstDot_; }
    std::span<const uint32_t> rowColour() const { return rowColour_; }
    int32_t writeColumn() const { return writeColumn_; }
    int32_t subSlot() const { return subSlot_; }
    int32_t dotsPerColumn() const { return dotsPerColumn_; }
    int32_t liveRow(int32_t plane, int32_t column) const;
    int32_t liveDotCount() const { return liveDotCount_; }
    bool hintUp() const { return hintUp_; }
    bool plotMarked() const { return plotDirty_; }
    bool marginsMarked() const { return marginsDirty_; }
    bool statusMarked() const { return statusDirty_; }
    bool keyGuard() const { return keyGuard_; }
    void SetKeyGuard(bool on) { keyGuard_ = on; }
    // The bar height taken off the screen when not in full screen: the handheld's task and
    // menu bars. A window system whose menu bar lies outside the view sets 0.
    void SetBarHeight(int32_t pixels) { barHeight_ = pixels; }

  private:
    DotPlacer::Input PlacerInput() const;
    DotPlacer::Mode PlacementMode() const;
    void DrawGrid();
    void DrawTimeAxis();
    void DrawDots();
    void DrawHint(platform::WindowDc& window);
    void Redraw();  // saves the scale, lays out and redraws
    void EraseLive(int32_t column, int32_t plane);
    void PaintMarked(platform::WindowDc& window);
    void MarkStatus();
    void LayoutStatus();
    int32_t& ModeFilterSetting();

    AppSettings& s_;
    GraphicsSurface& surface_;
    platform::GraphicsPlatform& platform_;
    const DotStore* dots_ = nullptr;
    std::string nameText_;
    std::string notice_;

    // geometry
    bool layoutOk_ = false;
    int32_t barHeight_ = kBarHeight;
    Rect viewRect_, statusRect_, timeAxisRect_, plotRect_;
    int32_t digits3Width_ = 24, digits4Width_ = 32, textHeight_ = 16, mWidth_ = 8;
    StatusLine::Fields fields_{};
    int32_t plotHeight_ = 0, lastColumn_ = 0, rowMin_ = 0, rowMax_ = 0;
    FrequencyAxis axis_;
    int32_t timeScale_ = 129;
    int32_t columnTime_ = 25000;
    std::string scaleLabel_ = "F1";
    DotPlacer::Screen screen_;
    std::vector<int32_t> columnFirstDot_;
    std::vector<int32_t> rowOfDot_;
    bool rowsValid_ = false;
    int32_t filterLevel_ = 0;

    // colours
    uint32_t backColour_ = 0, dotColour_ = 0, barColour_ = 0;
    std::vector<uint32_t> rowColour_;

    // live
    bool live_ = false;
    int32_t monitorMode_ = 0;
    int32_t dotsPerColumn_ = 1;
    int32_t writeColumn_ = 0;
    int32_t subSlot_ = 1;
    int32_t liveColumns_ = 0;
    std::vector<int32_t> liveRows_;
    int32_t liveDotCount_ = 0;
    int32_t wasteCountdown_ = 0, overflowCountdown_ = 0;
    bool moduleError_ = false;
    std::string clockText_;  // redrawn with every status line until the next tick

    // painting
    bool plotDirty_ = false, marginsDirty_ = false, statusDirty_ = false;
    bool hintUp_ = true;         // from the start and each graphics choice until the user acts
    bool hintOnWindow_ = false;  // drawn by the latest paint
    bool redrawnOnce_ = false;
    bool keyGuard_ = false;
    bool closing_ = false;
};
