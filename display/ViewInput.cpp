#include "display/ViewInput.h"

#include <algorithm>

#include "app/AppSettings.h"
#include "app/ButtonMenus.h"
#include "app/ZelkoraDoc.h"
#include "display/PlotView.h"
#include "display/ViewCommandHooks.h"
#include "display/ViewHost.h"

ViewInput::ViewInput(AppSettings& settings, PlotView& view, ZelkoraDoc& doc, ViewHost& host,
                     ViewCommandHooks& hooks)
    : s_(settings),
      view_(view),
      doc_(doc),
      host_(host),
      hooks_(hooks),
      fullScreen_(settings, view, host),
      dispatcher_(settings, view, doc, host, hooks, fullScreen_) {}

TapRegions::Areas ViewInput::Areas() const {
    return {view_.viewRect(), view_.plotRect(), view_.timeAxisRect(), view_.statusFields()};
}

void ViewInput::Refresh() {
    view_.SaveScale();
    if (view_.Layout()) view_.FullRedraw();
}

bool ViewInput::Tap(int32_t x, int32_t y) {
    if (!view_.layoutOk()) return false;
    view_.EndHint();
    using T = TapRegions::Target;
    const TapRegions::Hit hit = TapRegions::Find(Areas(), x, y, view_.live(), view_.allFile());
    switch (hit.target) {
        case T::None:
            return false;
        case T::LiveStop:
            hooks_.StopRecording();
            return true;
        case T::LiveSave:
            hooks_.SaveRecording();
            return true;
        case T::LiveMenu:
            OpenLiveMenu();
            return true;
        case T::FullScreen:
            fullScreen_.ToggleFullScreen();
            return true;
        case T::ViewingMenu:
            OpenViewingMenu();
            return true;
        case T::Plot:
            fullScreen_.Modal([this] { hooks_.OpenGpsMap(); });
            return true;
        case T::AxisFrom:
            ShowFromColumn(hit.column, false);
            break;
        case T::AxisTo:
            ShowFromColumn(hit.column, true);
            break;
        case T::PreviousFile:
            doc_.Previous();
            break;
        case T::ToggleAllFile:
            view_.ToggleAllFile();
            break;
        case T::NextFile:
            doc_.Next();
            break;
        case T::ScaleCoarser:
            view_.ScaleCoarser();
            break;
        case T::ScaleFiner:
            view_.ScaleFiner();
            break;
        case T::Mode:
            if (view_.allFile()) {
                view_.ToggleAllFile();
            } else {
                view_.SetTimeScale(PlotView::kTimeCommandComp);
            }
            break;
        case T::FilterLooser:
            view_.StepFilter(-3);
            break;
        case T::FilterStricter:
            view_.StepFilter(3);
            break;
    }
    Refresh();
    return true;
}

void ViewInput::ShowFromColumn(int32_t column, bool leftward) {
    const auto firsts = view_.columnFirstDot();
    const int32_t count = static_cast<int32_t>(view_.rowOfDot().size());
    if (firsts.empty() || count <= 0) return;
    if (column < 0) {
        // Left of the plot: the start of the file, or (lower half) its end.
        view_.SetFirstIndex(leftward ? count - 1 : 0, leftward);
        return;
    }
    const int32_t c =
        std::min(column, std::min(view_.lastColumn(), static_cast<int32_t>(firsts.size()) - 1));
    const int32_t first = firsts[static_cast<size_t>(c)];
    view_.SetFirstIndex(leftward && first > 0 ? first - 1 : first, leftward);
}

bool ViewInput::Key(KeyCommands::Key key) {
    view_.EndHint();
    if (view_.keyGuard()) return true;
    view_.SetKeyGuard(true);
    host_.StartKeyGuardTimer();
    Act(KeyCommands::For(key, view_.live(), view_.allFile(), s_.KeyShifted));
    return true;
}

void ViewInput::KeyGuardExpired() {
    view_.SetKeyGuard(false);
}

void ViewInput::Act(KeyCommands::Action action) {
    using A = KeyCommands::Action;
    switch (action) {
        case A::Nothing:
            break;
        case A::ToggleCompressed:
            view_.SetTimeScale(PlotView::kTimeCommandComp);
            break;
        case A::ScreenLeft:
            view_.ScreenLeft();
            break;
        case A::CallLeft:
            view_.CallLeft();
            break;
        case A::ScreenRight:
            view_.ScreenRight();
            break;
        case A::CallRight:
            view_.CallRight();
            break;
        case A::PreviousFile:
            doc_.Previous();
            break;
        case A::NextFile:
            doc_.Next();
            break;
        case A::ScaleFiner:
            view_.ScaleFiner();
            break;
        case A::ScaleCoarser:
            view_.ScaleCoarser();
            break;
        case A::AskExit:
            AskExit();
            break;
        case A::ShowAllFile:
            view_.ShowAllFile();
            break;
        case A::LeaveAllFile:
            view_.ToggleAllFile();
            break;
        case A::ViewingMenu:
            OpenViewingMenu();
            break;
        case A::LiveMenu:
            OpenLiveMenu();
            break;
        case A::FilterStep:
            view_.StepFilter(1);
            break;
        case A::StartRecording:
            hooks_.StartRecording();
            break;
        case A::StopRecording:
            hooks_.StopRecording();
            break;
        case A::SaveRecording:
            hooks_.SaveRecording();
            break;
    }
}

void ViewInput::AskExit() {
    bool yes = false;
    fullScreen_.Modal([&] { yes = host_.AskYesNo(kExitQuestion); });
    if (!yes) return;
    // The track file is complete before the window goes.
    doc_.gps().Stop();
    host_.CloseWindow();
}

void ViewInput::OpenViewingMenu() {
    int32_t code = 0;
    fullScreen_.Modal([&] {
        DialogMenuFiles menu([this](DialogMenuTemplate& m) { host_.RunMenu(m); }, view_.allFile(),
                             doc_.gps().poll().connected());
        code = menu.Run();
    });
    dispatcher_.Perform(code);
    Refresh();
}

void ViewInput::OpenLiveMenu() {
    int32_t code = 0;
    fullScreen_.Modal([&] {
        DialogMenuRecord menu(
            [this](DialogMenuTemplate& m) { host_.RunMenu(m); },
            [this](int32_t& low, int32_t& high) { return host_.EditFrequencyRange(low, high); },
            s_.Fmin, s_.Fmax);
        code = menu.Run();
    });
    dispatcher_.PerformLive(code);
    Refresh();
}
