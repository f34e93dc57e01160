#include "app/AppSettings.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/MemoryProfileStore.h"

namespace {

TEST(AppSettings, FirstStartGivesDefaults) {
    platform::MemoryProfileStore store;
    AppSettings s;
    s.RecordDivrat = 3;
    s.GPath = "/elsewhere/";
    s.load(store);
    EXPECT_EQ(s.RecordDivrat, 16);
    EXPECT_EQ(s.GPath, AppSettings::defaultSequenceFolder());
    EXPECT_EQ(s.GPath.substr(s.GPath.size() - 10), "/Batfiles/");
    EXPECT_EQ(s.autoMaxTBC, 5000000);
    EXPECT_EQ(s.Fmax, 210000000);
    EXPECT_EQ(s.Cybars, 0x8080FFu);
    EXPECT_EQ(s.GPSbaudrate, 38400);
    EXPECT_EQ(s.HScaleComp, 134);
    EXPECT_EQ(s.MapCcurrent, 0x0000FFu);
}

TEST(AppSettings, FullScreenAndKeyShiftedAreSavedButNotLoaded) {
    platform::MemoryProfileStore store;
    AppSettings s;
    s.FullScreen = 1;
    s.KeyShifted = 0;
    s.save(store);
    EXPECT_EQ(store.readInt("FullScreen"), 1);
    EXPECT_EQ(store.readInt("KeyShifted"), 0);
    AppSettings back;
    back.load(store);
    EXPECT_EQ(back.FullScreen, 0);
    EXPECT_EQ(back.KeyShifted, 1);
}

TEST(AppSettings, RoundTripsEveryKindOfValue) {
    platform::MemoryProfileStore store;
    AppSettings s;
    s.HorToolRect = {10, 20, 200, 100};
    s.Name = "L7011845.14#";
    s.Cback = 0x00FF8040;
    s.CustomColor[15] = 0x00ABCDEF;
    s.Fmin = 12345;
    s.save(store);
    EXPECT_EQ(store.readInt("HorToolRectTLx"), 10);
    EXPECT_EQ(store.readInt("HorToolRectTLy"), 20);
    EXPECT_EQ(store.readInt("HorToolRectBRx"), 200);
    EXPECT_EQ(store.readInt("HorToolRectBRy"), 100);
    AppSettings back;
    back.load(store);
    EXPECT_EQ(back.HorToolRect, (SettingsRect{10, 20, 200, 100}));
    EXPECT_EQ(back.Name, "L7011845.14#");
    EXPECT_EQ(back.Cback, 0x00FF8040u);
    EXPECT_EQ(back.CustomColor[15], 0x00ABCDEFu);
    EXPECT_EQ(back.Fmin, 12345);
}

TEST(AppSettings, SavesEveryKeyOnceInTableOrder) {
    platform::MemoryProfileStore store;
    AppSettings().save(store);
    const auto& order = store.writeOrder();
    EXPECT_EQ(order, AppSettings::keyOrder());
    EXPECT_EQ(order.size(), 74u);  // 33 values, 2 × 4 rectangle parts, 4 GPS, 5 + 16 colours, 8 map
    EXPECT_EQ(order.front(), "Name");
    EXPECT_EQ(order.back(), "MapFocus");
    auto pos = [&](const char* k) {
        return std::find(order.begin(), order.end(), k) - order.begin();
    };
    EXPECT_LT(pos("GraphicsSystem"), pos("HorToolRectTLx"));
    EXPECT_LT(pos("RecordToolRectBRy"), pos("GPSport"));
    EXPECT_LT(pos("GPStz"), pos("Cback"));
    EXPECT_EQ(pos("CustomColor0") + 15, pos("CustomColor15"));
}

TEST(AppSettings, WrongKindOfValueTakesDefault) {
    platform::MemoryProfileStore store;
    store.writeString("RecordDivrat", "sixteen");
    store.writeInt("GPath", 7);
    AppSettings s;
    s.load(store);
    EXPECT_EQ(s.RecordDivrat, 16);
    EXPECT_EQ(s.GPath, AppSettings::defaultSequenceFolder());
}

}  // namespace
