#include "gps/MapColoursDialog.h"

#include <gtest/gtest.h>

#include "app/AppSettings.h"

namespace {

TEST(MapColoursDialog, EachButtonPicksItsOwnColourFromTheCurrentOne) {
    AppSettings settings;
    MapColoursDialog dialog(settings);
    uint32_t seenInitial = 0;
    auto choose = [&](uint32_t answer) {
        return [&seenInitial, answer](uint32_t initial, std::array<uint32_t, 16>&) {
            seenInitial = initial;
            return std::optional<uint32_t>(answer);
        };
    };
    dialog.Press(MapColoursDialog::Button::Track, choose(0x00112233));
    EXPECT_EQ(seenInitial, 0x00FF00u);
    EXPECT_EQ(settings.MapCtrack, 0x00112233u);
    dialog.Press(MapColoursDialog::Button::Recent, choose(0x00445566));
    EXPECT_EQ(seenInitial, 0xFF0000u);
    dialog.Press(MapColoursDialog::Button::Current, choose(0x00778899));
    EXPECT_EQ(seenInitial, 0x0000FFu);
    dialog.Press(MapColoursDialog::Button::Map, choose(0xFFABCDEF));  // no alpha in settings
    EXPECT_EQ(seenInitial, 0x808080u);
    EXPECT_EQ(settings.MapCrecent, 0x00445566u);
    EXPECT_EQ(settings.MapCcurrent, 0x00778899u);
    EXPECT_EQ(settings.MapCmap, 0x00ABCDEFu);
    EXPECT_STREQ(MapColoursDialog::ButtonText(MapColoursDialog::Button::Recent), "Recent");
}

TEST(MapColoursDialog, CancelKeepsTheColourAndCustomColoursPersist) {
    AppSettings settings;
    MapColoursDialog dialog(settings);
    dialog.Press(MapColoursDialog::Button::Map,
                 [](uint32_t, std::array<uint32_t, 16>& custom) -> std::optional<uint32_t> {
                     custom[3] = 0x00010203;
                     return std::nullopt;
                 });
    EXPECT_EQ(settings.MapCmap, 0x808080u);
    EXPECT_EQ(settings.CustomColor[3], 0x00010203u);
}

TEST(MapColoursDialog, BigDotsOnlyOnOk) {
    AppSettings settings;
    settings.MapBigDots = 0;
    MapColoursDialog dialog(settings);
    EXPECT_FALSE(dialog.useBigDots());
    dialog.setUseBigDots(true);
    EXPECT_EQ(settings.MapBigDots, 0);
    dialog.Ok();
    EXPECT_EQ(settings.MapBigDots, 1);
    EXPECT_TRUE(MapColoursDialog(settings).useBigDots());
}

}  // namespace
