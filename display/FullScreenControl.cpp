#include "display/FullScreenControl.h"

#include "app/AppSettings.h"
#include "display/PlotView.h"
#include "display/ViewHost.h"

void FullScreenControl::ToggleFullScreen() {
    const bool on = s_.FullScreen == 0;
    host_.ApplyFullScreen(on);
    view_.SetFullScreen(on);
}

void FullScreenControl::LeaveFullScreenForDialog() {
    if (s_.FullScreen != 0) host_.ApplyFullScreen(false);
}

void FullScreenControl::RestoreAfterDialog() {
    if (s_.FullScreen != 0) host_.ApplyFullScreen(true);
    if (view_.Layout()) view_.FullRedraw();
}

void FullScreenControl::Modal(const std::function<void()>& dialog) {
    LeaveFullScreenForDialog();
    dialog();
    RestoreAfterDialog();
}
