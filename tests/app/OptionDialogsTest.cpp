#include <gtest/gtest.h>

#include <tuple>

#include "app/AppSettings.h"
#include "app/DialogFields.h"
#include "app/DisplayOptionsDialog.h"
#include "app/FrequencyRangeDialog.h"
#include "app/RecordingOptionsDialog.h"

namespace {

TEST(DialogFieldsTest, IntegersInRangeAndTheWordsForOthers) {
    int32_t v = -7;
    EXPECT_FALSE(DialogFields::ReadInteger("4", 4, 100, v));
    EXPECT_EQ(v, 4);
    EXPECT_FALSE(DialogFields::ReadInteger(" 100 ", 4, 100, v));
    EXPECT_EQ(v, 100);
    EXPECT_EQ(DialogFields::ReadInteger("3", 4, 100, v),
              std::optional<std::string>("Please enter an integer between 4 and 100."));
    EXPECT_EQ(DialogFields::ReadInteger("101", 4, 100, v), DialogFields::RangeMessage(4, 100));
    for (const char* text : {"", " ", "4k", "1.5", "-", "99999999999"}) {
        EXPECT_EQ(DialogFields::ReadInteger(text, 4, 100, v),
                  std::optional<std::string>(DialogFields::kNotAnInteger))
            << text;
    }
    EXPECT_EQ(v, 100);  // left alone by every refusal
}

TEST(FrequencyRangeDialogTest, RefusesOutOfRangeAndUpsideDown) {
    FrequencyRangeDialog d(4, 210);
    auto r = d.Ok("3", "210");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->field, FrequencyRangeDialog::Field::Low);
    EXPECT_EQ(r->message, "Please enter an integer between 4 and 100.");
    r = d.Ok("8", "251");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->field, FrequencyRangeDialog::Field::High);
    EXPECT_EQ(d.low, 4);  // nothing taken from a refused OK
    r = d.Ok("100", "60");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->message, FrequencyRangeDialog::kOrderMessage);
    EXPECT_FALSE(d.Ok("100", "250"));
    EXPECT_EQ(d.low, 100);
    EXPECT_EQ(d.high, 250);
    EXPECT_FALSE(d.Ok("4", "10"));
}

TEST(RecordingOptionsDialogTest, ExchangesEveryFieldWithTheSettings) {
    AppSettings s;
    s.HScaleRecord = 3;
    s.RecordDivrat = 10;
    s.RecordUseCalTone = 1;
    s.autoLineLength = 7;
    s.autoMaxTBC = 4000000;
    s.autoSlack = 2;
    RecordingOptionsDialog d(s);
    EXPECT_EQ(d.resolutionIndex, 2);
    EXPECT_TRUE(d.saveOnCal);
    RecordingOptionsDialog::Texts shown = d.Show();
    EXPECT_EQ(shown.maxTbc, "4");  // whole seconds
    EXPECT_EQ(shown.divRatio, "10");

    shown.maxTbc = "15";
    shown.lineLength = "50";
    d.resolutionIndex = 0;
    d.saveOnCal = false;
    EXPECT_FALSE(d.Ok(shown, s));
    EXPECT_EQ(s.autoMaxTBC, 15000000);
    EXPECT_EQ(s.autoLineLength, 50);
    EXPECT_EQ(s.HScaleRecord, 1);
    EXPECT_EQ(s.RecordUseCalTone, 0);
    EXPECT_EQ(s.RecordDivrat, 10);
    EXPECT_EQ(s.autoSlack, 2);
}

TEST(RecordingOptionsDialogTest, RefusalsLeaveTheSettingsAlone) {
    AppSettings s;
    RecordingOptionsDialog d(s);
    const AppSettings before = s;
    auto texts = d.Show();
    for (auto [field, text] : {std::pair{&RecordingOptionsDialog::Texts::lineLength, "1"},
                               std::pair{&RecordingOptionsDialog::Texts::lineLength, "51"},
                               std::pair{&RecordingOptionsDialog::Texts::maxTbc, "16"},
                               std::pair{&RecordingOptionsDialog::Texts::maxTbc, "-1"},
                               std::pair{&RecordingOptionsDialog::Texts::divRatio, "0"},
                               std::pair{&RecordingOptionsDialog::Texts::divRatio, "65"},
                               std::pair{&RecordingOptionsDialog::Texts::slack, "x"}}) {
        auto t = texts;
        t.*field = text;
        EXPECT_TRUE(d.Ok(t, s)) << text;
    }
    EXPECT_EQ(s.autoLineLength, before.autoLineLength);
    EXPECT_EQ(s.autoMaxTBC, before.autoMaxTBC);
    EXPECT_EQ(s.RecordDivrat, before.RecordDivrat);
}

TEST(RecordingOptionsDialogTest, AQuickPickReadsTheFieldsThenSetsTheRatio) {
    AppSettings s;
    RecordingOptionsDialog d(s);
    auto texts = d.Show();
    texts.lineLength = "9";  // typed, not confirmed
    EXPECT_FALSE(d.PickDivRatio(32, texts));
    EXPECT_EQ(d.divRatio, 32);
    EXPECT_EQ(d.lineLength, 9);  // kept: the fields were read first
    texts = d.Show();            // the form shows the members again
    EXPECT_EQ(texts.divRatio, "32");
    texts.slack = "";
    EXPECT_TRUE(d.PickDivRatio(5, texts));
    EXPECT_EQ(d.divRatio, 32);
}

TEST(DisplayOptionsDialogTest, ColoursAreTakenAtOnceMarkTheMaskAndGoBackOnCancel) {
    AppSettings s;
    s.CustomColor[3] = 0x123456;
    DisplayOptionsDialog d(s);
    std::array<uint32_t, 16> seenCustom{};
    uint32_t seenInitial = 0;
    auto chooser = [&](uint32_t initial,
                       std::array<uint32_t, 16>& custom) -> std::optional<uint32_t> {
        seenInitial = initial;
        seenCustom = custom;
        custom[0] = 0xABCDEF;  // the user made a custom colour
        return 0xFF00FF00u;
    };
    d.Press(DisplayOptionsDialog::Button::Dots, chooser);
    EXPECT_EQ(seenInitial, 0x000000u);
    EXPECT_EQ(seenCustom[3], 0x123456u);
    EXPECT_EQ(s.Cdots, 0x0000FF00u);  // stored at once, without the top byte
    EXPECT_EQ(s.CustomColor[0], 0xABCDEFu);
    d.Press(DisplayOptionsDialog::Button::Status, chooser);
    EXPECT_EQ(d.changeMask(), 2u | 16u);
    // A cancelled chooser changes nothing and sets no bit.
    d.Press(DisplayOptionsDialog::Button::Background,
            [](uint32_t, std::array<uint32_t, 16>&) { return std::nullopt; });
    EXPECT_EQ(s.Cback, 0xFFFFFFu);
    EXPECT_EQ(d.changeMask(), 18u);
    // The check boxes only on OK.
    d.bigDots = false;
    d.allUse = true;
    EXPECT_EQ(s.BigDots, 16);
    d.Ok();
    EXPECT_EQ(s.BigDots, 0);
    EXPECT_EQ(s.AllUse, 1);
    EXPECT_EQ(DisplayOptionsDialog::ChangeBit(DisplayOptionsDialog::Button::Scale), 8u);
    // Cancel puts back the colours the dialog opened with; the custom ones made stay.
    DisplayOptionsDialog cancelled(s);
    cancelled.Press(DisplayOptionsDialog::Button::Dots, [](uint32_t, auto& custom) {
        custom[1] = 0x654321;
        return std::optional<uint32_t>(0x00FF0000);
    });
    EXPECT_EQ(s.Cdots, 0x00FF0000u);
    cancelled.Cancel();
    EXPECT_EQ(std::tuple(s.Cdots, s.CustomColor[1], cancelled.changeMask()),
              std::tuple(0x0000FF00u, 0x654321u, 2u));
}

}  // namespace
