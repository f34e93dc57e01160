#pragma once
#include <functional>

struct AppSettings;
class PlotView;
class ViewHost;

// The full-screen mode (the `FullScreen` setting): the window covers the screen without its
// menu bar. Modal dialogs open over an ordinary window and the mode comes back after them.
class FullScreenControl {
  public:
    FullScreenControl(AppSettings& settings, PlotView& view, ViewHost& host)
        : s_(settings), view_(view), host_(host) {}

    void ToggleFullScreen();
    // Leaves full screen without changing the setting.
    void LeaveFullScreenForDialog();
    // Full screen again if set, then a layout and a full redraw.
    void RestoreAfterDialog();
    // Runs `dialog` between the two above.
    void Modal(const std::function<void()>& dialog);

  private:
    AppSettings& s_;
    PlotView& view_;
    ViewHost& host_;
};
