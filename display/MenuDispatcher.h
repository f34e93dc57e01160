#pragma once
#include <cstdint>

struct AppSettings;
class FullScreenControl;
class PlotView;
class ViewCommandHooks;
class ViewHost;
class ZelkoraDoc;

// Performs the code a button menu returned: one table from code to action, for the viewing
// menu (with the main menu's sub-menus behind it) and for the menu shown while recording.
// Codes that name nothing do nothing.
class MenuDispatcher {
  public:
    MenuDispatcher(AppSettings& settings, PlotView& view, ZelkoraDoc& doc, ViewHost& host,
                   ViewCommandHooks& hooks, FullScreenControl& fullScreen)
        : s_(settings),
          view_(view),
          doc_(doc),
          host_(host),
          hooks_(hooks),
          fullScreen_(fullScreen) {}

    // A code of the viewing menu; false when it names no action.
    bool Perform(int32_t code);
    // A code of the recording menu: 1 (the frequency range was changed), 3 stop, 11 save,
    // and the time resolutions; false for anything else, "Go to GPS Map" included.
    bool PerformLive(int32_t code);
    // The Time menu command 32901..32914 as a time-scale code (129..138, 1..4); 0 for none.
    static int32_t TimeScaleOf(int32_t command);

  private:
    struct Entry;
    void SetTimeResolution(int32_t command);
    void EditFrequencyRange();

    AppSettings& s_;
    PlotView& view_;
    ZelkoraDoc& doc_;
    ViewHost& host_;
    ViewCommandHooks& hooks_;
    FullScreenControl& fullScreen_;
};
