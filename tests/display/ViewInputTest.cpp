#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/ButtonMenus.h"
#include "app/ZelkoraDoc.h"
#include "display/PlotView.h"
#include "display/ViewCommandHooks.h"
#include "display/ViewHost.h"
#include "display/ViewInput.h"
#include "display/WindowFit.h"
#include "platform/MemoryProfileStore.h"
#include "platform/MessageSink.h"
#include "support/TempDir.h"
#include "tests/display/FakeGraphics.h"
#include "tests/display/TouchFolder.h"

namespace {

using T = TapRegions::Target;
using K = KeyCommands::Key;
using A = KeyCommands::Action;

// The window system as the input handling sees it: menus play a script of presses, the
// question gets a scripted answer, and everything asked is written down.
class FakeHost : public ViewHost {
  public:
    std::vector<int32_t> presses;
    std::vector<std::string> menusShown;  // slot 1's caption (or slot 4's) of each menu run
    std::vector<bool> fullScreenCalls;
    std::vector<std::string> asked;
    bool answer = false;
    int timers = 0, closes = 0, about = 0, opens = 0;
    bool frequencyOk = false;
    std::vector<std::pair<int32_t, int32_t>> frequencyGiven;

    void RunMenu(DialogMenuTemplate& menu) override {
        menu.Init();
        menusShown.push_back(menu.slotButton(1).visible ? menu.slotButton(1).caption
                                                        : menu.slotButton(4).caption);
        while (!presses.empty()) {
            const int32_t slot = presses.front();
            presses.erase(presses.begin());
            if (menu.Pressed(slot) == DialogMenuTemplate::Press::Close) return;
        }
    }
    bool AskYesNo(const std::string& text) override {
        asked.push_back(text);
        return answer;
    }
    void ApplyFullScreen(bool on) override { fullScreenCalls.push_back(on); }
    void StartKeyGuardTimer() override { ++timers; }
    void CloseWindow() override { ++closes; }
    void OpenFile() override { ++opens; }
    void ShowAbout() override { ++about; }
    bool EditFrequencyRange(int32_t& low, int32_t& high) override {
        frequencyGiven.emplace_back(low, high);
        low = 12;
        high = 120;
        return frequencyOk;
    }
};

class CountingHooks : public ViewCommandHooks {
  public:
    std::vector<int32_t> record, gps, tools;
    int maps = 0, starts = 0, stops = 0, saves = 0;
    void RecordCommand(int32_t code) override { record.push_back(code); }
    void GpsCommand(int32_t code) override { gps.push_back(code); }
    void ToolsCommand(int32_t code) override { tools.push_back(code); }
    void OpenGpsMap() override { ++maps; }
    void StartRecording() override { ++starts; }
    void StopRecording() override { ++stops; }
    void SaveRecording() override { ++saves; }
};

// A 320 x 240 view on a folder of three files, the middle one shown, in true time.
class TouchTest : public ::testing::Test {
  protected:
    TempDir dir;
    AppSettings settings;
    platform::MemoryProfileStore store;
    fake::Platform platform;
    std::unique_ptr<GraphicsSurface> surface;
    std::unique_ptr<PlotView> view;
    std::unique_ptr<ZelkoraDoc> doc;
    FakeHost host;
    CountingHooks hooks;
    std::unique_ptr<ViewInput> input;
    std::vector<std::string> names;
    platform::MessageHandler previous;

    void SetUp() override {
        previous = platform::setMessageHandler([](const std::string&, platform::MessageIcon) {});
        names = writeSequenceFolder(dir.folder());
        ASSERT_EQ(names.size(), 3u);
        settings.GPath = dir.folder();
        settings.Name = names[1];
        settings.ViewCompressed = 0;
        settings.HScaleTrue = 133;  // a file takes several screens
        settings.HScaleComp = 133;
        settings.Z = settings.AllZ = 0;
        platform.giveFrameBuffer();
        settings.GraphicsSystem = 2;
        surface = std::make_unique<GraphicsSurface>(platform);
        ASSERT_EQ(surface->Init(settings.GraphicsSystem), 0);
        view = std::make_unique<PlotView>(settings, *surface, platform);
        view->SetBarHeight(0);
        doc = std::make_unique<ZelkoraDoc>(settings, store);
        doc->onFileChanged = [this] { show(); };
        doc->ScanFolder();
        doc->FindCurrent();
        doc->LoadCurrentFile();
        view->SetSequence(&doc->dots());
        view->SetNameText(doc->currentFileName());
        view->OnInitialUpdate();
        ASSERT_TRUE(view->layoutOk());
        input = std::make_unique<ViewInput>(settings, *view, *doc, host, hooks);
    }
    void TearDown() override { platform::setMessageHandler(previous); }

    void show() {
        view->SetSequence(&doc->dots());
        view->SetNameText(doc->currentFileName());
        view->OnFileLoaded();
    }
    static std::pair<int32_t, int32_t> centre(const platform::PixelRect& r) {
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    T at(int32_t x, int32_t y, bool live = false, bool allFile = false) {
        return TapRegions::Find(input->Areas(), x, y, live, allFile).target;
    }
    T targetAt(const platform::PixelRect& r, bool live = false) {
        const auto [x, y] = centre(r);
        return at(x, y, live);
    }
    bool tap(const platform::PixelRect& r) {
        const auto [x, y] = centre(r);
        return input->Tap(x, y);
    }
    const StatusLine::Fields& fields() const { return view->statusFields(); }
    // One part of `parts` across `r`, as a rectangle.
    static platform::PixelRect part(const platform::PixelRect& r, int32_t index, int32_t parts) {
        const int32_t w = r.width();
        return {r.left + w * index / parts, r.top, r.left + w * (index + 1) / parts, r.bottom};
    }
};

// ---------------------------------------------------------------- tap regions

TEST_F(TouchTest, EveryRegionOfTheViewMeansItsCommand) {
    const auto& f = fields();
    EXPECT_EQ(targetAt(view->menuArea()), T::ViewingMenu);
    EXPECT_EQ(targetAt(view->fullScreenArea()), T::FullScreen);
    EXPECT_EQ(targetAt(f.fullScreen), T::FullScreen);
    EXPECT_EQ(targetAt(view->plotRect()), T::Plot);
    EXPECT_EQ(targetAt(part(f.name, 0, 3)), T::PreviousFile);
    EXPECT_EQ(targetAt(part(f.name, 1, 3)), T::ToggleAllFile);
    EXPECT_EQ(targetAt(part(f.name, 2, 3)), T::NextFile);
    EXPECT_EQ(targetAt(part(f.scale, 0, 2)), T::ScaleCoarser);
    EXPECT_EQ(targetAt(part(f.scale, 1, 2)), T::ScaleFiner);
    EXPECT_EQ(targetAt(f.mode), T::Mode);
    EXPECT_EQ(targetAt(part(f.filter, 0, 2)), T::FilterLooser);
    EXPECT_EQ(targetAt(part(f.filter, 1, 2)), T::FilterStricter);
    EXPECT_EQ(targetAt(f.clock), T::None);
    // A finger a few pixels off a field still hits it: right of the filter field, in the
    // gap between mode and filter (nearer the filter), below the status line's fields.
    const int32_t mid = (f.filter.top + f.filter.bottom) / 2;
    EXPECT_EQ(at(f.filter.right + 2, mid), T::FilterStricter);
    EXPECT_EQ(at(f.filter.left - 1, mid), T::FilterLooser);
    EXPECT_EQ(at(f.scale.left + 1, f.scale.bottom + 1), T::ScaleCoarser);
    EXPECT_EQ(at(f.filter.right + 12, mid), T::None);

    // The time-axis strip: its halves carry the tapped column, negative left of the plot.
    const auto axis = view->timeAxisRect();
    const int32_t plotLeft = view->plotRect().left;
    const auto areas = input->Areas();
    TapRegions::Hit hit = TapRegions::Find(areas, plotLeft + 40, axis.top + 1, false, false);
    EXPECT_EQ(hit.target, T::AxisFrom);
    EXPECT_EQ(hit.column, 40);
    hit = TapRegions::Find(areas, 3, axis.bottom - 1, false, false);
    EXPECT_EQ(hit.target, T::AxisTo);
    EXPECT_LT(hit.column, 0);
    // In the all-file mode the strip means nothing.
    EXPECT_EQ(at(plotLeft + 40, axis.top + 1, false, true), T::None);
}

TEST_F(TouchTest, OverlappingRegionsGoInOrder) {
    // The menu area and the full-screen area lie on the plot and win over it; the first
    // pixel row of each belongs to them, the row above to the plot.
    const auto menu = view->menuArea();
    EXPECT_EQ(at(menu.left + 2, menu.top), T::ViewingMenu);
    EXPECT_EQ(at(view->plotRect().left + 2, menu.top - 1), T::Plot);
    EXPECT_EQ(at(menu.right, menu.top + 2), T::Plot);
    // While live: the recorder's word, the name and the menu area come first.
    const auto& f = fields();
    EXPECT_EQ(targetAt(f.liveText, true), T::LiveStop);
    EXPECT_EQ(targetAt(f.mode, true), T::LiveStop);  // the word covers the mode field
    EXPECT_EQ(targetAt(part(f.name, 0, 3), true), T::LiveSave);
    EXPECT_EQ(targetAt(menu, true), T::LiveMenu);
    EXPECT_EQ(targetAt(part(f.scale, 1, 2), true), T::ScaleFiner);
    EXPECT_EQ(targetAt(view->plotRect(), true), T::Plot);
}

TEST_F(TouchTest, TapsActOnTheViewAndTheFolder) {
    ASSERT_EQ(doc->currentIndex(), 1);
    EXPECT_TRUE(tap(part(fields().name, 0, 3)));
    EXPECT_EQ(doc->currentIndex(), 0);
    EXPECT_TRUE(tap(part(fields().name, 2, 3)));
    EXPECT_EQ(doc->currentIndex(), 1);
    EXPECT_TRUE(tap(part(fields().name, 1, 3)));
    EXPECT_TRUE(view->allFile());
    EXPECT_TRUE(tap(fields().mode));  // leaves the all-file mode
    EXPECT_FALSE(view->allFile());
    EXPECT_FALSE(view->compressed());
    EXPECT_TRUE(tap(fields().mode));
    EXPECT_TRUE(view->compressed());
    EXPECT_EQ(view->timeScale(), 133);
    EXPECT_TRUE(tap(part(fields().scale, 1, 2)));
    EXPECT_EQ(view->timeScale(), 134);
    EXPECT_EQ(settings.HScaleComp, 134);  // saved into the mode's setting
    EXPECT_TRUE(tap(part(fields().scale, 0, 2)));
    EXPECT_EQ(view->timeScale(), 133);
    EXPECT_TRUE(tap(part(fields().filter, 1, 2)));
    EXPECT_EQ(view->filterLevel(), 1);
    EXPECT_TRUE(tap(part(fields().filter, 0, 2)));
    EXPECT_EQ(view->filterLevel(), 0);
    EXPECT_TRUE(tap(view->plotRect()));
    EXPECT_EQ(hooks.maps, 1);
    EXPECT_FALSE(tap(fields().clock));
}

TEST_F(TouchTest, TheTimeAxisStartsOrEndsTheScreenAtTheTappedColumn) {
    const auto axis = view->timeAxisRect();
    const int32_t plotLeft = view->plotRect().left;
    const int32_t expected = view->columnFirstDot()[100];
    ASSERT_GT(expected, 0);
    EXPECT_TRUE(input->Tap(plotLeft + 100, axis.top + 1));
    EXPECT_EQ(view->firstIndex(), expected);
    EXPECT_FALSE(view->allFile());

    // Lower half left of the plot: the screen ends with the file's last shown dot.
    const int32_t count = static_cast<int32_t>(view->rowOfDot().size());
    EXPECT_TRUE(input->Tap(2, axis.bottom - 2));
    EXPECT_GE(view->lastIndex(), count - 4);
    EXPECT_GT(view->firstIndex(), expected);

    // Lower half in the plot: the screen ends just before that column's first dot.
    const int32_t firstAt50 = view->columnFirstDot()[50];
    EXPECT_TRUE(input->Tap(plotLeft + 50, axis.bottom - 2));
    EXPECT_LT(view->lastIndex(), firstAt50);
}

// ---------------------------------------------------------------- menus and full screen

TEST_F(TouchTest, TheMenuAreaOpensTheViewingMenuAndItsCodeIsPerformed) {
    host.presses = {3};  // Next File
    EXPECT_TRUE(tap(view->menuArea()));
    EXPECT_EQ(host.menusShown, (std::vector<std::string>{"Prev File"}));
    EXPECT_EQ(doc->currentIndex(), 2);
    host.presses = {11, 1, 5};  // Main Menu, File, First
    input->Key(K::Button2);
    EXPECT_EQ(host.menusShown.size(), 4u);
    EXPECT_EQ(doc->currentIndex(), 0);
    // Nothing was full screen, so nothing was switched around the menus.
    EXPECT_TRUE(host.fullScreenCalls.empty());
}

TEST_F(TouchTest, FullScreenIsLeftForEveryDialogAndComesBack) {
    EXPECT_TRUE(tap(fields().fullScreen));
    EXPECT_EQ(settings.FullScreen, 1);
    EXPECT_TRUE(view->StatusContent().fullScreen);
    EXPECT_EQ(host.fullScreenCalls, (std::vector<bool>{true}));
    host.presses = {12};
    EXPECT_TRUE(tap(view->menuArea()));
    EXPECT_EQ(host.fullScreenCalls, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(settings.FullScreen, 1);  // the setting never changed
    EXPECT_TRUE(tap(view->plotRect()));
    EXPECT_EQ(host.fullScreenCalls, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_TRUE(tap(view->fullScreenArea()));
    EXPECT_EQ(settings.FullScreen, 0);
    EXPECT_EQ(host.fullScreenCalls.back(), false);
    EXPECT_FALSE(view->StatusContent().fullScreen);
}

TEST_F(TouchTest, EveryViewingCodeActsAndOthersDoNothing) {
    MenuDispatcher& d = input->dispatcher();
    EXPECT_TRUE(d.Perform(9));
    EXPECT_TRUE(view->allFile());
    settings.ViewCompressed = 1;
    EXPECT_TRUE(d.Perform(7));  // out of the all file, and compressed becomes true time
    EXPECT_FALSE(view->allFile());
    EXPECT_FALSE(view->compressed());
    EXPECT_TRUE(d.Perform(7));  // already true time: nothing
    EXPECT_FALSE(view->compressed());
    EXPECT_TRUE(d.Perform(8));
    EXPECT_TRUE(view->compressed());
    EXPECT_TRUE(d.Perform(32905));
    EXPECT_EQ(view->timeScale(), 133);
    EXPECT_TRUE(d.Perform(32914));
    EXPECT_EQ(view->timeScale(), 4);
    EXPECT_TRUE(d.Perform(32910));
    EXPECT_EQ(view->timeScale(), 138);

    EXPECT_TRUE(d.Perform(21));
    EXPECT_EQ(doc->currentIndex(), 0);
    EXPECT_TRUE(d.Perform(19));
    EXPECT_TRUE(d.Perform(3));
    EXPECT_EQ(doc->currentIndex(), 2);
    EXPECT_TRUE(d.Perform(1));
    EXPECT_TRUE(d.Perform(18));
    EXPECT_EQ(doc->currentIndex(), 0);
    EXPECT_TRUE(d.Perform(22));
    EXPECT_EQ(doc->currentIndex(), 2);

    EXPECT_TRUE(d.Perform(17));
    EXPECT_TRUE(d.Perform(23));
    EXPECT_TRUE(d.Perform(25));
    EXPECT_EQ(host.opens, 1);
    EXPECT_EQ(host.about, 1);
    EXPECT_EQ(host.closes, 1);

    // The recorder, GPS and tools codes reach their calls once each.
    for (int32_t code : {65, 67, 68, 70, 71, 97, 99, 100, 102, 103, 113}) {
        EXPECT_TRUE(d.Perform(code)) << code;
    }
    EXPECT_EQ(hooks.record, (std::vector<int32_t>{65, 67, 68, 70, 71}));
    EXPECT_EQ(hooks.gps, (std::vector<int32_t>{97, 99, 100, 102, 103}));
    EXPECT_EQ(hooks.tools, (std::vector<int32_t>{113}));

    // Codes of empty slots and of Close name nothing and change nothing.
    const AppSettings before = settings;
    for (int32_t code : {0,  2,  10, 11, 16,  20,  24,  48,    50,    53, 64,
                         66, 69, 96, 98, 101, 112, 114, 32900, 32915, -1}) {
        EXPECT_FALSE(d.Perform(code)) << code;
    }
    EXPECT_EQ(settings.HScaleComp, before.HScaleComp);
    EXPECT_EQ(settings.SeeAllFile, before.SeeAllFile);
    EXPECT_EQ(doc->currentIndex(), 2);
    EXPECT_EQ(hooks.record.size() + hooks.gps.size() + hooks.tools.size(), 11u);
    EXPECT_EQ(host.closes, 1);
}

TEST_F(TouchTest, FrequencyRangeFromTheMenusIsStoredOnlyOnOk) {
    settings.Fmin = 4000000;
    settings.Fmax = 210000000;
    EXPECT_TRUE(input->dispatcher().Perform(49));
    EXPECT_EQ(settings.Fmin, 4000000);
    host.frequencyOk = true;
    EXPECT_TRUE(input->dispatcher().Perform(49));
    EXPECT_EQ(host.frequencyGiven.front(), (std::pair<int32_t, int32_t>{4, 210}));
    EXPECT_EQ(settings.Fmin, 12000000);
    EXPECT_EQ(settings.Fmax, 120000000);
}

// ---------------------------------------------------------------- keys

TEST(KeyTable, WhatTheBehaviourTestsDoNotReach) {
    EXPECT_EQ(KeyCommands::For(K::Left, false, false, 1), A::ScreenLeft);
    EXPECT_EQ(KeyCommands::For(K::Left, false, false, 0), A::CallLeft);
    EXPECT_EQ(KeyCommands::For(K::Right, false, false, 0), A::CallRight);
    EXPECT_EQ(KeyCommands::For(K::Down, false, false, 0), A::ScaleCoarser);
    // Left and Right do nothing to a whole file; Up and Down still browse.
    EXPECT_EQ(KeyCommands::For(K::Left, false, true, 1), A::Nothing);
    EXPECT_EQ(KeyCommands::For(K::Right, false, true, 0), A::Nothing);
    EXPECT_EQ(KeyCommands::For(K::Up, false, true, 1), A::PreviousFile);
    // Live, the keys that only make sense while viewing are ignored.
    for (K k : {K::Return, K::Left, K::Right, K::Button3, K::Ignored}) {
        EXPECT_EQ(KeyCommands::For(k, true, false, 1), A::Nothing);
    }
    EXPECT_EQ(KeyCommands::For(K::Button1, true, true, 1), A::StopRecording);
}

TEST_F(TouchTest, ASecondKeyWithinTheGuardIsDroppedAndButton3StepsTheFilter) {
    // Starting a recording draws nothing, so only the timer ends the guard.
    input->Key(K::Button4);
    input->Key(K::Button4);
    EXPECT_EQ(hooks.starts, 1);
    EXPECT_EQ(host.timers, 1);
    input->KeyGuardExpired();
    input->Key(K::Button4);
    EXPECT_EQ(hooks.starts, 2);
    // A key that redraws keeps the guard up: its own redraw is no reason to take a second
    // key a few milliseconds later (two Up presses moving two files).
    input->KeyGuardExpired();
    input->Key(K::Button3);
    input->Key(K::Button3);
    EXPECT_EQ(view->filterLevel(), 1);
    EXPECT_TRUE(view->keyGuard());
    // Button 3 steps the filter on, stored, and wraps from four to nothing.
    for (int32_t expected : {2, 3, 4, 0, 1}) {
        input->KeyGuardExpired();
        input->Key(K::Button3);
        EXPECT_EQ(view->filterLevel(), expected);
        EXPECT_EQ(settings.Z, expected);
    }
}

TEST_F(TouchTest, Button1EntersTheWholeFileThenAsksToExit) {
    input->Key(K::Button1);
    EXPECT_TRUE(view->allFile());
    EXPECT_TRUE(host.asked.empty());
    input->KeyGuardExpired();
    input->Key(K::Button1);
    EXPECT_EQ(host.asked, (std::vector<std::string>{"Exit Zelkora"}));
    EXPECT_EQ(host.closes, 0);
    EXPECT_TRUE(view->allFile());
    host.answer = true;
    input->KeyGuardExpired();
    input->Key(K::Button1);
    EXPECT_EQ(host.closes, 1);
    // Button 4 goes back to the mode the whole file was entered from.
    input->KeyGuardExpired();
    input->Key(K::Button4);
    EXPECT_FALSE(view->allFile());
    EXPECT_EQ(hooks.starts, 0);
}

TEST_F(TouchTest, CursorKeysStepTheScreenOrBrowse) {
    // Each key after the guard of the one before has run out.
    auto press = [&](K key) {
        input->Key(key);
        input->KeyGuardExpired();
    };
    const int32_t start = view->firstIndex();
    press(K::Right);
    EXPECT_GT(view->firstIndex(), start);
    press(K::Down);
    EXPECT_EQ(doc->currentIndex(), 2);
    press(K::Up);
    EXPECT_EQ(doc->currentIndex(), 1);
    settings.KeyShifted = 0;
    press(K::Up);
    EXPECT_EQ(view->timeScale(), 134);
    press(K::Return);
    EXPECT_TRUE(view->compressed());
}

TEST_F(TouchTest, WhileLiveTheMenuAreaAndKeysReachTheRecorder) {
    ASSERT_EQ(view->PrepareLive(1), 0);
    host.presses = {3};  // Stop Rec
    EXPECT_TRUE(tap(view->menuArea()));
    EXPECT_EQ(host.menusShown, (std::vector<std::string>{"Freq Res"}));
    EXPECT_EQ(hooks.stops, 1);
    EXPECT_TRUE(tap(fields().liveText));
    EXPECT_EQ(hooks.stops, 2);
    EXPECT_TRUE(tap(part(fields().name, 1, 3)));
    EXPECT_EQ(hooks.saves, 1);
    input->Key(K::Button4);
    EXPECT_EQ(hooks.saves, 2);
    input->KeyGuardExpired();
    input->Key(K::Down);
    EXPECT_EQ(view->dotsPerColumn(), 2);
    // "Go to GPS Map" only closes the menu.
    host.presses = {4};
    input->KeyGuardExpired();
    input->Key(K::Button2);
    EXPECT_EQ(hooks.maps, 0);
    EXPECT_FALSE(input->dispatcher().PerformLive(4));
    EXPECT_TRUE(input->dispatcher().PerformLive(32912));
    EXPECT_EQ(view->dotsPerColumn(), 2);
}

// ---------------------------------------------------------------- the window's size

TEST(WindowFitTest, OpensWithinTheScreen) {
    const auto small = WindowFit::Initial(0, 0, 800, 480);
    EXPECT_TRUE(small.maximised);
    EXPECT_EQ(small.width, 800);
    EXPECT_TRUE(WindowFit::Initial(0, 0, 1024, 560).maximised);
    const auto big = WindowFit::Initial(0, 30, 1920, 1050);
    EXPECT_FALSE(big.maximised);
    EXPECT_EQ(big.width, 960);
    EXPECT_EQ(big.height, 600);
    EXPECT_EQ(big.x, 472);
    EXPECT_EQ(big.y, 30 + 201);
    // A 7" panel under a window manager: the title bar would push the status line off it.
    EXPECT_TRUE(WindowFit::Initial(0, 0, 1024, 600).maximised);
    EXPECT_FALSE(WindowFit::Initial(0, 0, 976, 648).maximised);
}

TEST(WindowFitTest, DialogStandsAboveTheOnScreenKeyboard) {
    const WindowFit::Box screen{0, 20, 1024, 580}, keys{0, 330, 1024, 270};
    auto top = [&](int32_t y, int32_t height) {
        return WindowFit::DialogTopOverKeyboard(screen, keys, {312, y, 400, height});
    };
    EXPECT_EQ(top(100, 200), 100);  // clear of the keyboard
    EXPECT_EQ(top(200, 250), 80);   // just above it, whole
    EXPECT_EQ(top(50, 500), 20);    // too tall: at the top of the available area
    EXPECT_EQ(WindowFit::DialogTopOverKeyboard(screen, {}, {312, 200, 400, 250}), 200);
}

TEST(WindowFitTest, AtTheMinimumWidthNoStatusFieldOverlapsAnother) {
    for (const auto& [d3, d4, m] :
         {std::tuple{24, 32, 8}, std::tuple{21, 28, 11}, std::tuple{36, 48, 16}}) {
        const int32_t width = WindowFit::MinimumViewWidth(d3, d4, m);
        const auto f = StatusLine::Layout({0, 0, width, 16}, d3, d4, m);
        EXPECT_LE(f.filter.right, f.fullScreen.left) << width;
        EXPECT_LE(f.fullScreen.right, f.clock.left) << width;
        EXPECT_LE(f.liveText.right, f.clock.left) << width;
        EXPECT_LE(f.clock.right, width);
        // Narrower by more than the gaps around the marker, and it touches a neighbour.
        const auto g = StatusLine::Layout({0, 0, width - 2 * (d3 / 3) - 2, 16}, d3, d4, m);
        EXPECT_TRUE(g.fullScreen.right > g.clock.left || g.filter.right > g.fullScreen.left)
            << width;
    }
}

}  // namespace
