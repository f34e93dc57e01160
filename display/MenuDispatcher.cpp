#include "display/MenuDispatcher.h"

#include <array>

#include "app/AppSettings.h"
#include "app/ButtonMenus.h"
#include "app/ZelkoraDoc.h"
#include "display/FullScreenControl.h"
#include "display/PlotView.h"
#include "display/TimeScale.h"
#include "display/ViewCommandHooks.h"
#include "display/ViewHost.h"

struct MenuDispatcher::Entry {
    int32_t first, last;  // the codes it covers
    void (*action)(MenuDispatcher& d, int32_t code);
};

bool MenuDispatcher::Perform(int32_t code) {
    using D = MenuDispatcher;
    static constexpr std::array<Entry, 27> kTable{{
        // The viewing menu itself.
        {1, 1, [](D& d, int32_t) { d.doc_.Previous(); }},
        {3, 3, [](D& d, int32_t) { d.doc_.Next(); }},
        {4, 4, [](D& d, int32_t) { d.view_.ScreenLeft(); }},
        {5, 5, [](D& d, int32_t) { d.view_.CallRight(); }},
        {6, 6, [](D& d, int32_t) { d.view_.ScreenRight(); }},
        {7, 7,
         [](D& d, int32_t) {
             if (d.view_.allFile() || d.view_.compressed()) d.view_.ShowTrueTime();
         }},
        {8, 8,
         [](D& d, int32_t) {
             if (d.view_.allFile() || !d.view_.compressed()) d.view_.ShowCompressed();
         }},
        {9, 9,
         [](D& d, int32_t) {
             if (!d.view_.allFile()) d.view_.ShowAllFile();
         }},
        // File (16 + slot).
        {17, 17, [](D& d, int32_t) { d.fullScreen_.Modal([&] { d.host_.OpenFile(); }); }},
        {18, 18, [](D& d, int32_t) { d.doc_.Previous(); }},
        {19, 19, [](D& d, int32_t) { d.doc_.Next(); }},
        {21, 21, [](D& d, int32_t) { d.doc_.First(); }},
        {22, 22, [](D& d, int32_t) { d.doc_.Last(); }},
        {23, 23, [](D& d, int32_t) { d.fullScreen_.Modal([&] { d.host_.ShowAbout(); }); }},
        {25, 25, [](D& d, int32_t) { d.host_.CloseWindow(); }},
        // Options (48 + slot).
        {49, 49, [](D& d, int32_t) { d.EditFrequencyRange(); }},
        {51, 51, [](D& d, int32_t) { d.fullScreen_.Modal([&] { d.host_.RecordingOptions(); }); }},
        {52, 52, [](D& d, int32_t) { d.fullScreen_.Modal([&] { d.host_.DisplayOptions(); }); }},
        {54, 54, [](D& d, int32_t) { d.fullScreen_.Modal([&] { d.host_.ChooseFolder(); }); }},
        // Record (64 + slot): the recorder's own work.
        {65, 65, [](D& d, int32_t c) { d.hooks_.RecordCommand(c); }},
        {67, 68, [](D& d, int32_t c) { d.hooks_.RecordCommand(c); }},
        {70, 71, [](D& d, int32_t c) { d.hooks_.RecordCommand(c); }},
        // GPS (96 + slot) and Tools (112 + slot) open their own dialogs.
        {97, 97, [](D& d, int32_t c) { d.fullScreen_.Modal([&] { d.hooks_.GpsCommand(c); }); }},
        {99, 100, [](D& d, int32_t c) { d.fullScreen_.Modal([&] { d.hooks_.GpsCommand(c); }); }},
        {102, 103, [](D& d, int32_t c) { d.fullScreen_.Modal([&] { d.hooks_.GpsCommand(c); }); }},
        {113, 113, [](D& d, int32_t c) { d.fullScreen_.Modal([&] { d.hooks_.ToolsCommand(c); }); }},
        // The time resolutions.
        {MenuCodes::kFirstTimeCommand, MenuCodes::kLastTimeCommand,
         [](D& d, int32_t c) { d.SetTimeResolution(c); }},
    }};
    for (const Entry& e : kTable) {
        if (code >= e.first && code <= e.last) {
            e.action(*this, code);
            return true;
        }
    }
    return false;
}

bool MenuDispatcher::PerformLive(int32_t code) {
    switch (code) {
        case 1:  // the range is already in the settings; the layout takes it
            return true;
        case 3:
            hooks_.StopRecording();
            return true;
        case 11:
            hooks_.SaveRecording();
            return true;
        default:
            if (TimeScaleOf(code) == 0) return false;
            SetTimeResolution(code);
            return true;
    }
}

int32_t MenuDispatcher::TimeScaleOf(int32_t command) {
    const int32_t k = command - MenuCodes::kTimeCommandBase;
    if (k >= 1 && k <= 10) return TimeScale::kFirstTimed + k - 1;
    if (k >= 11 && k <= 14) return k - 10;
    return 0;
}

void MenuDispatcher::SetTimeResolution(int32_t command) {
    const int32_t scale = TimeScaleOf(command);
    if (scale != 0) view_.SetTimeScale(scale);
}

void MenuDispatcher::EditFrequencyRange() {
    int32_t low = s_.Fmin / 1000000;
    int32_t high = s_.Fmax / 1000000;
    bool ok = false;
    fullScreen_.Modal([&] { ok = host_.EditFrequencyRange(low, high); });
    if (!ok) return;
    s_.Fmin = low * 1000000;
    s_.Fmax = high * 1000000;
}
