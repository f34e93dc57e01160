#pragma once
#include <QGuiApplication>

namespace platform::qt {

// The Qt application behind pictures made without a display (render, map --png): on the
// offscreen platform, so that they work over ssh and from a station's timer alike. Qt's
// notice that XDG_RUNTIME_DIR is not set (as it is not under cron or a plain ssh session)
// is left out: nothing of a picture goes there, and a notice on every run reads as a fault.
// So are the window's notes on which way its plot reaches the screen ("... path refused").
class OffscreenGuiApp {
  public:
    OffscreenGuiApp();
    ~OffscreenGuiApp();
    OffscreenGuiApp(const OffscreenGuiApp&) = delete;
    OffscreenGuiApp& operator=(const OffscreenGuiApp&) = delete;

  private:
    // Sets the platform and puts the filter in place before the application is made, which
    // is where Qt gives the notice; the handler that was in place.
    static QtMessageHandler prepare();

    int argc_ = 1;
    char arg0_[13] = "zelkora-tool";
    char* argv_[2] = {arg0_, nullptr};
    QtMessageHandler previous_ = nullptr;
    QGuiApplication app_;
};

}  // namespace platform::qt
