#include "display/PlotView.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "app/AppSettings.h"
#include "display/CallFilter.h"
#include "display/TapRegions.h"
#include "display/TimeAxis.h"
#include "display/TimeScale.h"
#include "platform/MessageSink.h"
#include "sequence/DotStore.h"

PlotView::PlotView(AppSettings& settings, GraphicsSurface& surface,
                   platform::GraphicsPlatform& platform)
    : s_(settings), surface_(surface), platform_(platform) {}

// ---------------------------------------------------------------- data and modes

void PlotView::SetSequence(const DotStore* dots) {
    dots_ = dots;
    rowsValid_ = false;
}

void PlotView::SetNameText(std::string name, std::string notice) {
    nameText_ = std::move(name);
    if (notice == notice_) return;
    notice_ = std::move(notice);
    if (layoutOk_) LayoutStatus();
}

bool PlotView::allFile() const {
    return s_.SeeAllFile != 0;
}
bool PlotView::compressed() const {
    return s_.ViewCompressed != 0;
}

int32_t& PlotView::ModeFilterSetting() {
    return allFile() ? s_.AllZ : s_.Z;
}

void PlotView::OnInitialUpdate() {
    if (s_.AllUse != 0) s_.SeeAllFile = 1;
    if (allFile()) {
        timeScale_ = s_.HScaleAll;
    } else {
        timeScale_ = compressed() ? s_.HScaleComp : s_.HScaleTrue;
    }
    filterLevel_ = std::clamp(ModeFilterSetting(), 0, CallFilter::kMaxLevel);
    rowsValid_ = false;
    screen_ = {};
    if (Layout()) FullRedraw();
    SaveScale();
}

void PlotView::OnFileLoaded() {
    s_.SeeAllFile = s_.AllUse != 0 ? 1 : 0;
    if (allFile()) {
        timeScale_ = s_.HScaleAll;
    } else {
        timeScale_ = compressed() ? s_.HScaleComp : s_.HScaleTrue;
    }
    filterLevel_ = std::clamp(ModeFilterSetting(), 0, CallFilter::kMaxLevel);
    rowsValid_ = false;
    screen_ = {};
    if (Layout()) FullRedraw();
}

void PlotView::SetFirstIndex(int32_t index, bool leftward) {
    screen_.firstIndex = std::max(index, 0);
    screen_.leftward = leftward;
}

// ---------------------------------------------------------------- layout

bool PlotView::Layout() {
    layoutOk_ = false;
    platform::TextExtent e;
    digits3Width_ = platform_.textExtent("000", e) ? e.width : 24;
    digits4Width_ = platform_.textExtent("0000", e) ? e.width : 32;
    textHeight_ = platform_.textExtent("0000", e) ? e.height : 16;
    mWidth_ = platform_.textExtent("m", e) ? e.width : 8;

    viewRect_ = surface_.GetScreenRect();
    if (s_.FullScreen == 0) {
        viewRect_.top += barHeight_;
        viewRect_.bottom -= barHeight_;
    }
    statusRect_ = {viewRect_.left, viewRect_.bottom - textHeight_ - 1, viewRect_.right,
                   viewRect_.bottom};
    timeAxisRect_ = {viewRect_.left, statusRect_.top - textHeight_ - 7, viewRect_.right,
                     statusRect_.top};
    plotRect_ = {viewRect_.left + digits3Width_ + 2, viewRect_.top, viewRect_.right,
                 timeAxisRect_.top};
    if (plotRect_.height() < kMinPlotSize || plotRect_.width() - 1 < kMinPlotSize) return false;

    const GraphicsBackEnd before = surface_.GetBackEnd();
    int code = surface_.Setup(viewRect_, plotRect_);
    if (code != GraphicsSurface::kOk && before != GraphicsBackEnd::DeviceContext) {
        // A direct path that refuses this layout must not leave the window blank: say why,
        // then draw through the painter.
        const std::string text = GraphicsSurface::MessageForCode(code);
        if (!text.empty()) platform::showMessage(text, platform::MessageIcon::Exclamation);
        if (surface_.FallBackToDeviceContext() == GraphicsSurface::kOk) {
            code = surface_.Setup(viewRect_, plotRect_);
        }
    }
    if (code != GraphicsSurface::kOk) return false;

    plotHeight_ = plotRect_.height();
    const bool big = s_.BigDots != 0;
    lastColumn_ = plotRect_.width() - (big ? 2 : 1);
    rowMin_ = 0;
    rowMax_ = plotHeight_ - (big ? 2 : 1);
    axis_.Configure(s_.Fmin, s_.Fmax, s_.Floglin != 0, plotHeight_, rowMin_, rowMax_);

    try {
        if (columnFirstDot_.size() < static_cast<size_t>(lastColumn_ + 1)) {
            columnFirstDot_.assign(static_cast<size_t>(lastColumn_ + 1), 0);
        }
    } catch (const std::bad_alloc&) {
        platform::showMessage("Table not made");
        return false;
    }
    try {
        if (rowColour_.size() < static_cast<size_t>(plotHeight_ + 32)) {
            const int32_t rows = std::max(surface_.GetScreenRect().height(), plotHeight_) + 32;
            rowColour_.assign(static_cast<size_t>(rows), 0);
        }
        liveColumns_ = lastColumn_ + 1;
        liveRows_.assign(static_cast<size_t>(4 * liveColumns_), -1);
    } catch (const std::bad_alloc&) {
        platform::showMessage("Ctable problem");
        return false;
    }

    LayoutStatus();
    axis_.BuildBars(textHeight_);
    MakeColours();
    rowsValid_ = false;
    layoutOk_ = true;
    return true;
}

void PlotView::MakeColours() {
    backColour_ = surface_.ToDeviceColour(s_.Cback);
    dotColour_ = surface_.ToDeviceColour(s_.Cdots);
    barColour_ = surface_.ToDeviceColour(s_.Cybars);
    std::fill(rowColour_.begin(), rowColour_.end(), backColour_);
    for (const FrequencyAxis::Bar& bar : axis_.bars()) {
        if (bar.row > 0 && static_cast<size_t>(bar.row) < rowColour_.size()) {
            rowColour_[static_cast<size_t>(bar.row)] = barColour_;
        }
    }
}

// ---------------------------------------------------------------- rows and filter

void PlotView::RecomputeRows() {
    const int32_t count = dots_ ? std::clamp(dots_->count, 0, DotStore::kCapacity) : 0;
    rowOfDot_.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        rowOfDot_[static_cast<size_t>(i)] = axis_.RowOfFrequency(dots_->frequency[i]);
    }
    if (dots_) CallFilter::Thin(dots_->times, count, filterLevel_, rowOfDot_);
    rowsValid_ = true;
}

void PlotView::ApplyFilter(int32_t step) {
    const int32_t level = CallFilter::NextLevel(filterLevel_, step);
    // Thinning cannot be undone: a looser level starts again from every dot in range.
    const bool looser = level < filterLevel_ || (level == 0 && filterLevel_ != 0);
    filterLevel_ = level;
    if (!rowsValid_ || looser) {
        RecomputeRows();
    } else if (dots_) {
        CallFilter::Thin(dots_->times, static_cast<int32_t>(rowOfDot_.size()), filterLevel_,
                         rowOfDot_);
    }
    ModeFilterSetting() = filterLevel_;
}

void PlotView::StepFilter(int32_t step) {
    ApplyFilter(step);
    Redraw();
}

// ---------------------------------------------------------------- full redraw

DotPlacer::Input PlotView::PlacerInput() const {
    DotPlacer::Input in;
    if (dots_) {
        in.times = dots_->times;
        in.rows = rowOfDot_;
        in.count = static_cast<int32_t>(rowOfDot_.size());
    }
    in.lastColumn = lastColumn_;
    in.timeScale = timeScale_;
    in.columnTime = columnTime_;
    return in;
}

DotPlacer::Mode PlotView::PlacementMode() const {
    if (allFile()) return DotPlacer::Mode::AllFile;
    if (!TimeScale::IsTimed(timeScale_)) return DotPlacer::Mode::DotsPerColumn;
    return compressed() ? DotPlacer::Mode::Compressed : DotPlacer::Mode::TrueTime;
}

void PlotView::FullRedraw() {
    if (!layoutOk_ || !surface_.ready() || surface_.canvas() == nullptr) return;
    std::fill(columnFirstDot_.begin(), columnFirstDot_.end(), 0);
    ApplyFilter(0);

    // On the direct paths the canvas's plot area is never shown: only the margins are filled.
    platform::Canvas& canvas = *surface_.canvas();
    if (surface_.GetBackEnd() == GraphicsBackEnd::DeviceContext) {
        canvas.fillRect(viewRect_, s_.Cback);
    } else {
        canvas.fillRect(surface_.topRect(), s_.Cback);
        canvas.fillRect(surface_.leftRect(), s_.Cback);
        canvas.fillRect(surface_.bottomRect(), s_.Cback);
    }
    columnTime_ = live_ ? TimeScale::kLiveColumnTime : TimeScale::ColumnTime(timeScale_);
    scaleLabel_ = live_ ? "F1" : TimeScale::Label(timeScale_);

    DrawStatus();
    DrawGrid();
    // The dots come before the axis, which needs to know where a leftward screen begins;
    // they never overlap.
    DrawDots();
    DrawTimeAxis();

    screen_.leftward = false;
    marginsDirty_ = plotDirty_ = true;
    redrawnOnce_ = true;
    if (invalidate) invalidate();
}

void PlotView::DrawGrid() {
    surface_.Clear(backColour_);
    platform::Canvas& canvas = *surface_.canvas();
    for (const FrequencyAxis::Bar& bar : axis_.bars()) {
        surface_.HorizontalLine(bar.row, barColour_);
        if (bar.label.empty()) continue;
        const int32_t y = plotRect_.top + bar.row;
        canvas.drawText({viewRect_.left, y - textHeight_ / 2, viewRect_.left + digits3Width_,
                         y + textHeight_ / 2},
                        std::string_view(bar.label).substr(0, 3), platform::TextAlign::Right,
                        s_.Cscale, s_.Cback);
    }
}

void PlotView::DrawDots() {
    if (live_) {
        RedrawLive(liveReader);
        return;
    }
    if (!dots_) return;
    const uint32_t colour = dotColour_;
    if (s_.BigDots != 0) {
        DotPlacer::Place(PlacerInput(), PlacementMode(), screen_, columnFirstDot_,
                         [&](int32_t x, int32_t y) { surface_.PutDot(x, y, colour); });
    } else {
        DotPlacer::Place(PlacerInput(), PlacementMode(), screen_, columnFirstDot_,
                         [&](int32_t x, int32_t y) { surface_.PutPixel(x, y, colour); });
    }
}

void PlotView::DrawTimeAxis() {
    int64_t start = 0;
    const int32_t count = static_cast<int32_t>(rowOfDot_.size());
    if (dots_ && count > 0 && !live_ && !allFile()) {
        const int64_t span = int64_t{columnTime_} * plotRect_.width();
        if (screen_.leftward) {
            start = dots_->times[std::clamp(screen_.lastIndex, 0, count - 1)] - span;
        } else {
            start = dots_->times[std::clamp(screen_.firstIndex, 0, count - 1)];
        }
    }
    TimeAxis::Draw(*surface_.canvas(), timeAxisRect_, plotRect_, start, columnTime_, digits4Width_,
                   textHeight_, s_.Cscale, s_.Cback);
}

void PlotView::Redraw() {
    SaveScale();
    if (Layout()) FullRedraw();
}

// ---------------------------------------------------------------- scales and modes

void PlotView::SaveScale() {
    if (live_) {
        s_.HScaleRecord = dotsPerColumn_;
    } else if (allFile()) {
        s_.HScaleAll = timeScale_;
    } else if (compressed()) {
        s_.HScaleComp = timeScale_;
    } else {
        s_.HScaleTrue = timeScale_;
    }
}

void PlotView::SetTimeScale(int32_t command) {
    if (live_ || allFile()) {
        if (!TimeScale::IsDotsPerColumn(command)) return;
        timeScale_ = command;
        if (live_) dotsPerColumn_ = command;
    } else if (command == kTimeCommandComp) {
        if (compressed()) {
            ShowTrueTime();
        } else {
            ShowCompressed();
        }
        return;
    } else if (TimeScale::IsTimed(command) || TimeScale::IsDotsPerColumn(command)) {
        timeScale_ = command;
    } else {
        return;
    }
    Redraw();
}

void PlotView::ScaleFiner() {
    if (live_) {
        dotsPerColumn_ = std::max(dotsPerColumn_ - 1, 1);
        timeScale_ = dotsPerColumn_;
    } else {
        timeScale_ = TimeScale::Finer(timeScale_, allFile(), compressed());
    }
    Redraw();
}

void PlotView::ScaleCoarser() {
    if (live_) {
        dotsPerColumn_ = std::min(dotsPerColumn_ + 1, 4);
        timeScale_ = dotsPerColumn_;
    } else {
        timeScale_ = TimeScale::Coarser(timeScale_, allFile(), compressed());
    }
    Redraw();
}

namespace {
void SwitchFilter(int32_t wanted, int32_t& level, bool& rowsValid) {
    wanted = std::clamp(wanted, 0, 5);
    if (wanted != level) {
        level = wanted;
        rowsValid = false;
    }
}
}  // namespace

void PlotView::ShowCompressed() {
    s_.SeeAllFile = 0;
    s_.ViewCompressed = 1;
    timeScale_ = s_.HScaleComp;
    SwitchFilter(s_.Z, filterLevel_, rowsValid_);
    Redraw();
}

void PlotView::ShowTrueTime() {
    s_.SeeAllFile = 0;
    s_.ViewCompressed = 0;
    timeScale_ = s_.HScaleTrue;
    SwitchFilter(s_.Z, filterLevel_, rowsValid_);
    Redraw();
}

void PlotView::ShowAllFile() {
    s_.SeeAllFile = 1;
    timeScale_ = s_.HScaleAll;
    SwitchFilter(s_.AllZ, filterLevel_, rowsValid_);
    Redraw();
}

void PlotView::ToggleAllFile() {
    if (!allFile()) {
        ShowAllFile();
    } else if (compressed()) {
        ShowCompressed();
    } else {
        ShowTrueTime();
    }
}

void PlotView::ScreenRight() {
    DotPlacer::ScreenRight(PlacerInput(), screen_);
    Redraw();
}

void PlotView::ScreenLeft() {
    DotPlacer::ScreenLeft(PlacerInput(), screen_);
    Redraw();
}

void PlotView::CallRight() {
    DotPlacer::CallRight(PlacerInput(), screen_);
    Redraw();
}

void PlotView::CallLeft() {
    DotPlacer::CallLeft(PlacerInput(), screen_);
    Redraw();
}

void PlotView::SetFullScreen(bool on) {
    s_.FullScreen = on ? 1 : 0;
    if (Layout()) FullRedraw();
}

void PlotView::ChooseGraphics(int32_t graphicsSystem) {
    s_.GraphicsSystem = graphicsSystem;
    hintUp_ = true;
    const int code = surface_.Reset(graphicsSystem);
    if (code != GraphicsSurface::kOk) {
        const std::string text = GraphicsSurface::MessageForCode(code);
        if (!text.empty()) platform::showMessage(text, platform::MessageIcon::Exclamation);
        surface_.FallBackToDeviceContext();
    }
    const bool ok = Layout();
    SaveScale();
    if (ok) FullRedraw();
}

// ---------------------------------------------------------------- live display

int32_t PlotView::PrepareLive(int32_t monitorMode) {
    if (!layoutOk_) return -1;
    live_ = true;
    monitorMode_ = monitorMode;
    moduleError_ = false;
    wasteCountdown_ = overflowCountdown_ = 0;
    timeScale_ = s_.HScaleRecord;
    dotsPerColumn_ = (s_.HScaleRecord >= 1 && s_.HScaleRecord <= 4) ? s_.HScaleRecord : 1;
    if (Layout()) FullRedraw();
    writeColumn_ = 0;
    subSlot_ = 1;
    liveDotCount_ = 0;
    return 0;
}

void PlotView::EndLive() {
    live_ = false;
    wasteCountdown_ = overflowCountdown_ = 0;
}

int32_t PlotView::liveRow(int32_t plane, int32_t column) const {
    if (plane < 0 || plane >= 4 || column < 0 || column >= liveColumns_) return -1;
    return liveRows_[static_cast<size_t>(plane * liveColumns_ + column)];
}

void PlotView::EraseLive(int32_t column, int32_t plane) {
    int32_t& row = liveRows_[static_cast<size_t>(plane * liveColumns_ + column)];
    if (row < 0) return;  // the slot holds no dot: nothing to restore
    const auto r = static_cast<size_t>(row);
    if (s_.BigDots != 0) {
        surface_.PutDot2(column, row, rowColour_[r], rowColour_[r + 1]);
    } else {
        surface_.PutPixel(column, row, rowColour_[r]);
    }
    row = -1;
}

void PlotView::AddLiveDot(int32_t frequency) {
    if (closing_ || !layoutOk_ || liveColumns_ <= 0) return;
    const int32_t row = axis_.RowOfFrequency(frequency);
    if (row < 0) return;
    // The sweep uses every column 0..lastColumn, so the history that RedrawLive leaves in
    // the last column is erased like any other.
    const int32_t columns = liveColumns_;
    const int32_t x = writeColumn_;
    if (s_.BigDots != 0) {
        surface_.PutDot(x, row, dotColour_);
    } else {
        surface_.PutPixel(x, row, dotColour_);
    }
    if (dotsPerColumn_ <= 1) {
        liveRows_[static_cast<size_t>(x)] = row;
        writeColumn_ = (writeColumn_ + 1) % columns;
        EraseLive((writeColumn_ + 4) % columns, 0);
    } else {
        liveRows_[static_cast<size_t>((subSlot_ - 1) * columns + x)] = row;
        if (subSlot_ == dotsPerColumn_) writeColumn_ = (writeColumn_ + 1) % columns;
        if (subSlot_ == 1) {
            const int32_t ahead = (writeColumn_ + 6) % columns;
            for (int32_t p = 0; p < dotsPerColumn_; ++p) EraseLive(ahead, p);
        }
        subSlot_ = subSlot_ % dotsPerColumn_ + 1;
    }
    liveDotCount_ =
        std::min<int32_t>(liveDotCount_ + 1, static_cast<int32_t>(columnFirstDot_.size()));
}

void PlotView::LiveTick(std::span<const int32_t> frequencies) {
    bool drew = false;
    for (int32_t f : frequencies) {
        const int32_t before = liveDotCount_;
        const int32_t column = writeColumn_, slot = subSlot_;
        AddLiveDot(f);
        drew = drew || liveDotCount_ != before || writeColumn_ != column || subSlot_ != slot;
    }
    bool statusChanged = false;
    for (int32_t* countdown : {&wasteCountdown_, &overflowCountdown_}) {
        if (*countdown > 0 && --*countdown <= 2) {
            *countdown = 0;
            statusChanged = true;
        }
    }
    if (statusChanged) {
        DrawStatus();
        statusDirty_ = true;
    }
    if (drew) plotDirty_ = true;
    if ((drew || statusChanged) && invalidate) invalidate();
}

void PlotView::NoteWaste() {
    wasteCountdown_ = 11;
    RefreshStatus();
}

void PlotView::NoteOverflow() {
    overflowCountdown_ = 11;
    RefreshStatus();
}

void PlotView::RefreshStatus() {
    DrawStatus();
    MarkStatus();
}

void PlotView::RedrawLive(const RecentReader& reader) {
    std::fill(liveRows_.begin(), liveRows_.end(), -1);
    const int32_t perColumn = std::clamp(dotsPerColumn_, 1, 4);
    if (reader && lastColumn_ >= 8) {
        std::vector<int32_t> recent(static_cast<size_t>(DotStore::kCapacity));
        const int32_t n = std::clamp(reader(recent), 0, DotStore::kCapacity);
        int32_t column = lastColumn_, plane = perColumn;
        for (int32_t k = 0; k < n && column >= 8; ++k) {
            const int32_t row = axis_.RowOfFrequency(recent[static_cast<size_t>(k)]);
            if (row < 0) continue;
            if (s_.BigDots != 0) {
                surface_.PutDot(column, row, dotColour_);
            } else {
                surface_.PutPixel(column, row, dotColour_);
            }
            liveRows_[static_cast<size_t>((plane - 1) * liveColumns_ + column)] = row;
            columnFirstDot_[static_cast<size_t>(column)] = k;
            if (--plane == 0) {
                plane = perColumn;
                --column;
            }
        }
    }
    subSlot_ = 1;
    writeColumn_ = 0;
}

// ---------------------------------------------------------------- status, clock, hint

void PlotView::LayoutStatus() {
    platform::TextExtent e;
    const int32_t notice = !notice_.empty() && platform_.textExtent(notice_, e) ? e.width : 0;
    fields_ = StatusLine::Layout(statusRect_, digits3Width_, digits4Width_, mWidth_, notice);
}

StatusLine::Content PlotView::StatusContent() const {
    StatusLine::Content c;
    c.notice = notice_;
    c.name = nameText_;
    c.live = live_;
    char text[16];
    if (live_) {
        std::snprintf(text, sizeof text, "D%d", static_cast<int>(dotsPerColumn_));
        c.scaleText = text;
        platform::TextExtent e;
        const platform::Canvas* canvas = surface_.canvas();
        const bool wide = canvas != nullptr && canvas->textExtent("Monitoring", e) &&
                          e.width < fields_.liveText.width();
        c.liveText =
            StatusLine::LiveWord(monitorMode_, wide, wasteCountdown_ > 0, overflowCountdown_ > 0);
    } else if (allFile()) {
        std::snprintf(text, sizeof text, "D%d", static_cast<int>(timeScale_));
        c.scaleText = text;
        c.modeText = "All";
    } else {
        c.scaleText = scaleLabel_;
        c.modeText = compressed() ? "Comp" : "True";
    }
    c.filterLevel = filterLevel_;
    c.fullScreen = s_.FullScreen != 0;
    return c;
}

void PlotView::DrawStatus() {
    if (!layoutOk_ || surface_.canvas() == nullptr) return;
    StatusLine::Draw(*surface_.canvas(), statusRect_, fields_, StatusContent(), s_.Cscale,
                     s_.Cstatusback);
    if (!clockText_.empty()) {
        surface_.canvas()->drawText(fields_.clock, clockText_, platform::TextAlign::Centre,
                                    s_.Cscale, s_.Cstatusback);
    }
}

void PlotView::MarkStatus() {
    statusDirty_ = true;
    if (invalidate) invalidate();
}

void PlotView::ClockTick(int32_t hour, int32_t minute, int32_t second) {
    if (closing_ || !layoutOk_ || !surface_.ready() || surface_.canvas() == nullptr) return;
    const int32_t state = gpsState ? gpsState() : -1000;
    clockText_ = StatusLine::ClockText(state, hour, minute, second);
    // The text's own background covers only its glyphs: a narrower text (the GPS letter
    // going from "G" to a space) would leave the ends of the wider one beside it.
    surface_.canvas()->fillRect(fields_.clock, s_.Cstatusback);
    surface_.canvas()->drawText(fields_.clock, clockText_, platform::TextAlign::Centre, s_.Cscale,
                                s_.Cstatusback);
    MarkStatus();
}

PlotView::Rect PlotView::menuArea() const {
    return TapRegions::MenuArea(viewRect_, plotRect_);
}

PlotView::Rect PlotView::fullScreenArea() const {
    return TapRegions::FullScreenArea(viewRect_, plotRect_);
}

void PlotView::DrawHint(platform::WindowDc& window) {
    auto toWindow = [&](Rect r) {
        return Rect{r.left - viewRect_.left, r.top - viewRect_.top, r.right - viewRect_.left,
                    r.bottom - viewRect_.top};
    };
    auto thirds = [&](Rect area, std::initializer_list<const char*> lines) {
        const Rect w = toWindow(area);
        window.fillRect(w, s_.Cdots);
        int32_t i = 0;
        for (const char* line : lines) {
            const int32_t top = w.top + w.height() * i / 3;
            const int32_t bottom = w.top + w.height() * (i + 1) / 3;
            window.drawText({w.left, top, w.right, bottom}, line, platform::TextAlign::Centre,
                            s_.Cback);
            ++i;
        }
    };
    const Rect strip =
        toWindow({viewRect_.left, viewRect_.top, viewRect_.right, viewRect_.top + 32});
    window.fillRect(strip, s_.Cdots);
    window.drawText(strip, GraphicsSurface::HintText(surface_.GetBackEnd()),
                    platform::TextAlign::Centre, s_.Cback);
    thirds(menuArea(), {"Press here", "for menu"});
    thirds(fullScreenArea(), {"Press here", "to toggle", "full screen"});
}

void PlotView::PaintMarked(platform::WindowDc& window) {
    if (!surface_.ready()) return;
    if (plotDirty_ || statusDirty_) {
        if (marginsDirty_) surface_.BlitMargins(window);
    } else {
        surface_.BlitMargins(window);
        if (!marginsDirty_) plotDirty_ = true;
    }
    marginsDirty_ = false;
    if (statusDirty_) {
        surface_.BlitRect(window, statusRect_);
        statusDirty_ = false;
    }
    if (plotDirty_) {
        surface_.Present(window);
        plotDirty_ = false;
    }
}

void PlotView::EndHint() {
    if (!hintUp_) return;
    hintUp_ = false;
    // The hint covers margins and plot alike: both are shown again without it.
    marginsDirty_ = plotDirty_ = true;
    if (invalidate) invalidate();
}

void PlotView::OnPaint(platform::WindowDc& window) {
    // Live dots coming in end the hint, or it would hide the frequency labels for as long as
    // the plot keeps changing (a whole recording); the margins go with the plot.
    if (hintUp_ && hintOnWindow_ && live_ && plotDirty_) {
        hintUp_ = false;
        marginsDirty_ = true;
    }
    PaintMarked(window);
    // Drawn on every paint until the user first taps or presses a key: a window manager
    // that maps, moves or resizes the window after the first paint repaints it, and the
    // hint must still be there when the window is at last on the screen.
    if (hintUp_ && redrawnOnce_ && layoutOk_) {
        DrawHint(window);
        hintOnWindow_ = true;
    } else {
        hintOnWindow_ = false;
    }
}

void PlotView::PaintWithoutHint(platform::WindowDc& window) {
    PaintMarked(window);
}
