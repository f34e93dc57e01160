#pragma once
#include <cstdint>

#include "display/FullScreenControl.h"
#include "display/KeyCommands.h"
#include "display/MenuDispatcher.h"
#include "display/TapRegions.h"

struct AppSettings;
class PlotView;
class ViewCommandHooks;
class ViewHost;
class ZelkoraDoc;

// The view driven by a finger and the handheld's keys: taps on the regions of the view, the
// cursor keys and application buttons with their repeat guard, the button menus and what
// their codes do, and the full-screen mode.
class ViewInput {
  public:
    static constexpr const char* kExitQuestion = "Exit Zelkora";
    static constexpr int32_t kKeyGuardMillis = 50;

    ViewInput(AppSettings& settings, PlotView& view, ZelkoraDoc& doc, ViewHost& host,
              ViewCommandHooks& hooks);

    // A tap at (x, y) in the view's coordinates; false when no region took it.
    bool Tap(int32_t x, int32_t y);
    // A key; false when it is none of the view's keys.
    bool Key(KeyCommands::Key key);
    // The 50 ms one-shot after a key ran out.
    void KeyGuardExpired();

    void OpenViewingMenu();
    void OpenLiveMenu();
    FullScreenControl& fullScreen() { return fullScreen_; }
    MenuDispatcher& dispatcher() { return dispatcher_; }

    // The view's rectangles as the tap regions see them.
    TapRegions::Areas Areas() const;

  private:
    void Act(KeyCommands::Action action);
    void ShowFromColumn(int32_t column, bool leftward);
    void Refresh();
    void AskExit();

    AppSettings& s_;
    PlotView& view_;
    ZelkoraDoc& doc_;
    ViewHost& host_;
    ViewCommandHooks& hooks_;
    FullScreenControl fullScreen_;
    MenuDispatcher dispatcher_;
};
