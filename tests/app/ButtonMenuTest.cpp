#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/ButtonMenus.h"
#include "app/DialogMenuTimes.h"

namespace {

// Plays a user at the menus: each run takes the next presses from one script, so a chain
// of sub-menus reads as the sequence of buttons tapped. It keeps the captions each menu
// showed and counts the relayouts.
class Finger {
  public:
    explicit Finger(std::vector<int32_t> presses) : presses_(presses.begin(), presses.end()) {}

    DialogMenuTemplate::Runner runner() {
        return [this](DialogMenuTemplate& menu) {
            menu.Init();
            ++runs;
            focus.push_back(menu.FocusSlot());
            while (!presses_.empty()) {
                const int32_t slot = presses_.front();
                presses_.pop_front();
                const auto press = menu.Pressed(slot);
                if (press == DialogMenuTemplate::Press::Close) return;
                if (press == DialogMenuTemplate::Press::Relayout) ++relayouts;
            }
            ADD_FAILURE() << "the script ended with a menu still open";
        };
    }
    bool done() const { return presses_.empty(); }

    int32_t runs = 0;
    int32_t relayouts = 0;
    std::vector<int32_t> focus;

  private:
    std::deque<int32_t> presses_;
};

int32_t viewingMenuCode(std::vector<int32_t> presses, bool allFile = false) {
    Finger finger(std::move(presses));
    DialogMenuFiles menu(finger.runner(), allFile);
    const int32_t code = menu.Run();
    EXPECT_TRUE(finger.done());
    return code;
}

std::vector<std::string> captions(DialogMenuTemplate& menu) {
    menu.Init();
    std::vector<std::string> out;
    for (int32_t slot = 1; slot <= 12; ++slot) {
        out.push_back(menu.slotButton(slot).visible ? menu.slotButton(slot).caption : "-");
    }
    return out;
}

TEST(ButtonMenuCodes, MainMenuAddsSixteenTimesItsSlotToTheSubMenusSlot) {
    EXPECT_EQ(viewingMenuCode({1}), 1);           // Prev File
    EXPECT_EQ(viewingMenuCode({9}), 9);           // AllFile
    EXPECT_EQ(viewingMenuCode({11, 1, 3}), 19);   // Main Menu, File, Next
    EXPECT_EQ(viewingMenuCode({11, 1, 9}), 25);   // File, Exit
    EXPECT_EQ(viewingMenuCode({11, 3, 6}), 54);   // Options, Path
    EXPECT_EQ(viewingMenuCode({11, 4, 7}), 71);   // Record, Choose Port
    EXPECT_EQ(viewingMenuCode({11, 6, 7}), 103);  // GPS, Map
    EXPECT_EQ(viewingMenuCode({11, 7, 1}), 113);  // Tools, Serial Test
    EXPECT_EQ(viewingMenuCode({11, 12}), 0);      // Close in the main menu
    EXPECT_EQ(viewingMenuCode({11, 1, 12}), 16);  // Close in the File sub-menu
    EXPECT_EQ(viewingMenuCode({12}), 0);
}

TEST(ButtonMenuCodes, OpenAndHiddenSlotsLeaveTheMenuOpen) {
    Finger finger({10, 10, 11, 2, 5, 8, 10, 6, 12, 1});
    DialogMenuFiles menu(finger.runner(), false);
    // Open twice, then the main menu: its hidden 2, 5, 8 and Open do nothing, GPS opens, its
    // Close gives 96 + 0, and the Files menu closes with that.
    EXPECT_EQ(menu.Run(), 96);
    EXPECT_EQ(finger.runs, 3);
    EXPECT_FALSE(finger.done());  // the last press was never needed
}

TEST(ButtonMenuCaptions, EveryMenuShowsItsButtons) {
    Finger none({});
    DialogMenuFiles files(none.runner(), false);
    EXPECT_EQ(captions(files),
              (std::vector<std::string>{"Prev File", "Time Res", "Next File", "Screen Left",
                                        "Call Right", "Screen Right", "Truetime", "Compressed",
                                        "AllFile", "Open", "Main Menu", "Close"}));
    DialogMenuMain main(none.runner());
    EXPECT_EQ(captions(main),
              (std::vector<std::string>{"File", "-", "Options", "Record", "-", "GPS", "Tools", "-",
                                        "-", "Open", "-", "Close"}));
    DialogMenuGPSRes res(none.runner(), 0);
    EXPECT_EQ(captions(res)[10], "All");
}

TEST(ButtonMenuCaptions, AWideButtonCoversTheCellsAfterIt) {
    Finger none({});
    int32_t fMin = 4000000, fMax = 210000000;
    DialogMenuRecord record(none.runner(), {}, fMin, fMax);
    EXPECT_EQ(captions(record),
              (std::vector<std::string>{"Freq Res", "Time Res", "Stop Rec", "Go to GPS Map", "-",
                                        "-", "-", "-", "-", "Open", "-", "Close"}));
    EXPECT_EQ(record.slotButton(4).rows, 2);
    EXPECT_EQ(record.slotButton(4).cols, 3);
    // Slot 4 at 800 x 480 spans the whole width and rows 2 and 3.
    EXPECT_EQ(DialogMenuTemplate::SlotRect(4, record.slotButton(4), 800, 480),
              (platform::PixelRect{2, 122, 2 + 3 * 266 - 4, 122 + 2 * 120 - 4}));
    DialogMenuGPSMap map(none.runner(), 0, {});
    EXPECT_EQ(captions(map)[3], "Go to Main Screen");
    EXPECT_EQ(map.slotButton(4).rows * map.slotButton(4).cols, 6);
}

TEST(ButtonMenuLayout, CellsAreAThirdByAQuarterInsetByTwo) {
    const MenuButtonSpec one{1, "x", true, 1};
    // 800 / 3 = 266, 480 / 4 = 120: slot 1 top left, slot 6 row 1 column 2, slot 12 last.
    EXPECT_EQ(DialogMenuTemplate::SlotRect(1, one, 800, 480),
              (platform::PixelRect{2, 2, 264, 118}));
    EXPECT_EQ(DialogMenuTemplate::SlotRect(6, one, 800, 480),
              (platform::PixelRect{534, 122, 796, 238}));
    EXPECT_EQ(DialogMenuTemplate::SlotRect(12, one, 800, 480),
              (platform::PixelRect{534, 362, 796, 478}));
    // Turned to portrait.
    EXPECT_EQ(DialogMenuTemplate::SlotRect(12, one, 480, 800),
              (platform::PixelRect{322, 602, 478, 798}));
}

TEST(ButtonMenuLayout, OnlyAChangedScreenLaysTheButtonsOutAgain) {
    Finger none({});
    DialogMenuFiles menu(none.runner(), false);
    EXPECT_TRUE(menu.NoteScreen({0, 0, 800, 480}));
    EXPECT_FALSE(menu.NoteScreen({0, 0, 800, 480}));
    EXPECT_TRUE(menu.NoteScreen({0, 0, 480, 800}));
    EXPECT_FALSE(menu.NoteScreen({0, 0, 480, 800}));
}

TEST(ButtonMenuFocus, APresetResultMarksItsSlotElseClose) {
    Finger none({});
    DialogMenuFiles menu(none.runner(), false);
    EXPECT_EQ(menu.FocusSlot(), 12);
    menu.SetResult(5);
    EXPECT_EQ(menu.FocusSlot(), 5);
    menu.SetResult(11);
    EXPECT_EQ(menu.FocusSlot(), 11);
    menu.SetResult(12);
    EXPECT_EQ(menu.FocusSlot(), 12);
}

TEST(TimesMenu, FPageThenDppPageAndBack) {
    EXPECT_EQ(viewingMenuCode({2, 5}), 32905);      // F5
    EXPECT_EQ(viewingMenuCode({2, 9}), 32909);      // F9
    EXPECT_EQ(viewingMenuCode({2, 11, 1}), 32910);  // F10 on the DPP page
    EXPECT_EQ(viewingMenuCode({2, 11, 4}), 32911);  // DPP1
    EXPECT_EQ(viewingMenuCode({2, 11, 5}), 32912);
    EXPECT_EQ(viewingMenuCode({2, 11, 7}), 32913);
    EXPECT_EQ(viewingMenuCode({2, 11, 8}), 32914);  // DPP4
    EXPECT_EQ(viewingMenuCode({2, 11, 11, 3}), 32903);
    EXPECT_EQ(viewingMenuCode({2, 12}), 0);               // Close: no change
    EXPECT_EQ(viewingMenuCode({2, 11, 2, 6, 9, 12}), 0);  // hidden slots stay, then Close

    Finger finger({11, 11, 11, 12});
    DialogMenuTimes times(finger.runner(), DialogMenuTimes::kFromFiles, false);
    times.Run();
    EXPECT_EQ(finger.relayouts, 3);
    EXPECT_EQ(times.page(), DialogMenuTimes::kDppPage);
}

TEST(TimesMenu, RecordingAndTheAllFileModeOfferOnlyDotsPerColumn) {
    Finger none({});
    for (const bool allFile : {true, false}) {
        DialogMenuTimes times(none.runner(),
                              allFile ? DialogMenuTimes::kFromFiles : DialogMenuTimes::kFromRecord,
                              allFile);
        EXPECT_EQ(times.context(), DialogMenuTimes::kFromRecord);
        EXPECT_EQ(captions(times),
                  (std::vector<std::string>{"-", "-", "-", "DPP1", "DPP2", "-", "DPP3", "DPP4", "-",
                                            "Open", "-", "Close"}));
    }
    // The F page cannot be reached: slot 11 is hidden.
    EXPECT_EQ(viewingMenuCode({2, 11, 1, 8}, true), 32914);
    DialogMenuTimes fromFiles(none.runner(), DialogMenuTimes::kFromFiles, false);
    EXPECT_EQ(captions(fromFiles)[10], "F10, DPP");
}

TEST(RecordMenu, FrequencyRangeClosesOnlyWhenConfirmed) {
    int32_t fMin = 4000000, fMax = 210000000;
    std::vector<std::pair<int32_t, int32_t>> given;
    bool confirm = false;
    auto dialog = [&](int32_t& low, int32_t& high) {
        given.emplace_back(low, high);
        low = 8;
        high = 160;
        return confirm;
    };
    {
        // Cancelled: the menu stays; Close then gives 0 and the range is as it was.
        Finger finger({1, 12});
        DialogMenuRecord menu(finger.runner(), dialog, fMin, fMax);
        EXPECT_EQ(menu.Run(), 0);
        EXPECT_EQ(fMin, 4000000);
        EXPECT_EQ(fMax, 210000000);
    }
    confirm = true;
    {
        Finger finger({1});
        DialogMenuRecord menu(finger.runner(), dialog, fMin, fMax);
        EXPECT_EQ(menu.Run(), 1);
    }
    EXPECT_EQ(given.front(), (std::pair<int32_t, int32_t>{4, 210}));
    EXPECT_EQ(fMin, 8000000);
    EXPECT_EQ(fMax, 160000000);

    Finger finger({2, 4});
    DialogMenuRecord menu(finger.runner(), dialog, fMin, fMax);
    EXPECT_EQ(menu.Run(), 32911);  // Time Res, DPP1
    Finger stop({3});
    DialogMenuRecord stopMenu(stop.runner(), dialog, fMin, fMax);
    EXPECT_EQ(stopMenu.Run(), 3);
}

TEST(GpsMenus, ResolutionPresetFromTheMapScale) {
    EXPECT_EQ(DialogMenuGPSRes::PresetSlot(0), 11);
    EXPECT_EQ(DialogMenuGPSRes::PresetSlot(1000), 1);
    EXPECT_EQ(DialogMenuGPSRes::PresetSlot(2000), 2);
    EXPECT_EQ(DialogMenuGPSRes::PresetSlot(10000), 4);
    EXPECT_EQ(DialogMenuGPSRes::PresetSlot(500000), 9);
    EXPECT_EQ(DialogMenuGPSRes::PresetSlot(1234), 12);

    // Scale 2000 focuses "200m"; Close keeps it: 100 + 2.
    Finger keep({1, 12});
    DialogMenuGPSMap map(keep.runner(), 2000, {});
    EXPECT_EQ(map.Run(), 102);
    EXPECT_EQ(keep.focus, (std::vector<int32_t>{12, 2}));
    Finger pick({1, 7});
    DialogMenuGPSMap other(pick.runner(), 2000, {});
    EXPECT_EQ(other.Run(), 107);

    int32_t colours = 0;
    Finger colourFinger({3});
    DialogMenuGPSMap withColours(colourFinger.runner(), 2000, [&] { ++colours; });
    EXPECT_EQ(withColours.Run(), 0);  // closes with the result unchanged
    EXPECT_EQ(colours, 1);
}

}  // namespace

namespace {

TEST(GpsMenus, ConnectReadsDisconnectWhileConnectedAndKeepsItsCode) {
    for (const bool connected : {false, true}) {
        std::vector<std::string> firstCaptions;  // innermost menu first
        Finger finger({11, 6, 1});
        auto run = finger.runner();
        DialogMenuFiles menu(
            [&](DialogMenuTemplate& m) {
                run(m);
                firstCaptions.push_back(m.slotButton(1).caption);
            },
            false, connected);
        EXPECT_EQ(menu.Run(), 97);
        ASSERT_EQ(firstCaptions.size(), 3u);
        EXPECT_EQ(firstCaptions[0], connected ? "Disconnect" : "Connect");
    }
}

}  // namespace
