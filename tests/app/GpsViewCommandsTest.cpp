// The GPS menu's commands as the window runs them, with the windows faked and the receiver
// a pseudo-terminal registered as a virtual port.
#include <gtest/gtest.h>

#include <thread>

#include "acquisition/PtyPeer.h"
#include "app/AppSettings.h"
#include "app/GpsViewCommands.h"
#include "app/ZelkoraDoc.h"
#include "gps/GpsTestSupport.h"
#include "platform/MemoryProfileStore.h"

using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;

namespace {

using gps_test::withChecksum;

class FakeWindows : public GpsWindows, public GpsLink::ConnectionProgress {
  public:
    GpsLink::ConnectionProgress& connectionProgress() override { return *this; }
    void show(const std::string& heading, const std::string& status) override {
        texts.push_back(heading);
        texts.push_back(status);
    }
    void setStatus(const std::string& status) override { texts.push_back(status); }
    void close() override { texts.push_back("closed"); }

    std::optional<gps_settings::Choice> EditSettings(SettingsForm& form) override {
        shownForm = form;
        return settingsAnswer;
    }
    bool Confirm(const std::string& question) override {
        questions.push_back(question);
        return confirm;
    }
    void ShowClockMessage(const std::string& text) override { clockMessages.push_back(text); }
    void ShowMap(GpsMap& map) override {
        ++mapsShown;
        pointsWhenShown = map.pointCount();
    }

    std::vector<std::string> texts, questions, clockMessages;
    std::optional<gps_settings::Choice> settingsAnswer;
    std::optional<SettingsForm> shownForm;
    bool confirm = true;
    int mapsShown = 0;
    int32_t pointsWhenShown = -1;
};

constexpr int32_t kPort = 212;
const std::string kGga = "$GPGGA,101500.0,3352.128,S,15112.000,E,1,08,0.9,21.4,M,22.0,M,,";
const std::string kRmc = "$GPRMC,101500.0,A,3352.128,S,15112.000,E,0.0,0.0,150126,,";
const std::string kGsa3d = "$GPGSA,A,3,04,05,09,12,24,,,,,,,,2.5,1.3,2.1";

class GpsViewCommandsTest : public ::testing::Test {
  protected:
    GpsViewCommandsTest() {
        AppSettings& s = appSettings();
        s.GPath = dir.folder();
        s.GPSport = kPort;
        s.GPSbaudrate = 4800;
        s.GPStz = 660;
        s.MapWidth = 0;
    }
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        runtime.registerPort(kPort, peer.slavePath(), "GPS simulator");
    }
    void send(const std::string& sentences) {
        peer.send(std::vector<uint8_t>(sentences.begin(), sentences.end()));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // The setter is faked; the clock it corrects is the machine's, which also stamped the
    // fix, so the clock is set to the fix's moment: 15 January 2026 (summer in the south).
    ClockFromGps clock() {
        return ClockFromGps([this](const platform::LocalClockReading& r) {
            ++clockSets;
            setTo = r;
            return setterAgrees;
        });
    }

    gps_test::SettingsGuard guard;
    gps_test::TempFolder dir;
    PrivateRuntimeDir runtime;
    PtyPeer peer;
    platform::MemoryProfileStore store;
    ZelkoraDoc doc{appSettings(), store};
    FakeWindows windows;
    int clockSets = 0;
    bool setterAgrees = true;
    platform::LocalClockReading setTo;
};

TEST_F(GpsViewCommandsTest, ConnectShowsProgressAndMapThenPollFeedsTheStatusLetter) {
    GpsViewCommands gps(appSettings(), doc, windows, clock());
    EXPECT_EQ(doc.SecondTick(), -1);  // not connected: the letter is a space
    EXPECT_STREQ(gps.ConnectText(), "Connect");
    EXPECT_FALSE(gps.SetClockEnabled());

    ASSERT_TRUE(gps.Perform(GpsViewCommands::kConnect));
    EXPECT_EQ(windows.texts,
              (std::vector<std::string>{"Connecting to GPS", "Port 212 - please wait",
                                        "Setting Timeouts", "Opening ZLG file", "closed"}));
    EXPECT_EQ(windows.mapsShown, 1);
    EXPECT_STREQ(gps.ConnectText(), "Disconnect");
    EXPECT_EQ(doc.SecondTick(), 0);  // connected, nothing received yet: '-'

    send(withChecksum(kRmc) + withChecksum(kGsa3d) + withChecksum(kGga));
    EXPECT_EQ(doc.SecondTick(), 5);  // 3D fix: 'G'
    EXPECT_TRUE(gps.SetClockEnabled());
    EXPECT_EQ(doc.gps().poll().positionMode(), 1);
    EXPECT_EQ(gps.map().pointCount(), 0);  // no GSV sentence: the map adds no points
    EXPECT_EQ(gps_test::readBytes(dir.path() / "GPS.zlg").size(), 32u);

    // Disconnect: the letter goes back to a space and the map is not opened again.
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kConnect));
    EXPECT_EQ(windows.mapsShown, 1);
    EXPECT_EQ(doc.SecondTick(), -1);
    EXPECT_EQ(doc.gps().poll().positionMode(), 0);
}

TEST_F(GpsViewCommandsTest, ConnectIsRefusedWhileRecordingAndAnUnsetPortFails) {
    GpsViewCommands gps(appSettings(), doc, windows, clock());
    doc.setRecording(true);
    EXPECT_FALSE(gps.ConnectEnabled());
    EXPECT_FALSE(gps.Perform(GpsViewCommands::kConnect));
    EXPECT_TRUE(windows.texts.empty());
    doc.setRecording(false);

    // A port of -1 (what the dialog once stored with no port selected): Connect fails.
    windows.settingsAnswer = gps_settings::Choice{-1, 2400, -210};
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSettings));
    EXPECT_EQ(appSettings().GPSport, -1);
    EXPECT_EQ(appSettings().GPSbaudrate, 2400);
    EXPECT_EQ(appSettings().GPStz, -210);
    EXPECT_EQ(doc.gps().link().portNumber(), -1);
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kConnect));
    EXPECT_EQ(windows.texts, (std::vector<std::string>{"Connecting to GPS", "Port -1 - please wait",
                                                       "Connection Failed", "closed"}));
    EXPECT_FALSE(doc.gps().link().IsPortOpen());
    EXPECT_EQ(windows.mapsShown, 1);  // the map opens after every Connect
    EXPECT_EQ(doc.SecondTick(), 0);   // connected flag set, port closed: '-'
}

TEST_F(GpsViewCommandsTest, SettingsDialogOpensWithTheStoredValues) {
    appSettings().GPStz = -90;
    appSettings().GPSbaudrate = 38400;
    GpsViewCommands gps(appSettings(), doc, windows, clock());
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSettings));  // cancelled
    ASSERT_TRUE(windows.shownForm.has_value());
    EXPECT_EQ(windows.shownForm->baudIndex, 6);
    EXPECT_TRUE(windows.shownForm->timeZone.negative);
    EXPECT_EQ(windows.shownForm->timeZone.hours, 1);
    EXPECT_EQ(windows.shownForm->timeZone.minutes, 30);
    EXPECT_EQ(windows.shownForm->wantedPort, kPort);
    EXPECT_EQ(appSettings().GPStz, -90);  // Cancel changes nothing
    EXPECT_EQ(appSettings().GPSport, kPort);
}

TEST(GpsSystemZone, TextSaysWhenTheConfiguredZoneDiffers) {
    EXPECT_EQ(GpsViewCommands::SystemZoneText(36000, 600), "System: UTC+10:00");
    EXPECT_EQ(GpsViewCommands::SystemZoneText(-12600, 600), "System: UTC-03:30 - differs");
    EXPECT_EQ(GpsViewCommands::SystemZoneText(0, 0), "System: UTC+00:00");
    EXPECT_EQ(GpsViewCommands::SystemZoneText(19800, 300), "System: UTC+05:30 - differs");
}

TEST_F(GpsViewCommandsTest, NewFileAsksThenStartsAnEmptyTrackAndTheMapReloads) {
    {
        GpsLink writer;
        writer.LoadSettings();
        ASSERT_TRUE(writer.Connect());
        send(withChecksum(kGga) + withChecksum(kGga));
        writer.Drain();
        writer.Disconnect();
    }
    ASSERT_EQ(gps_test::readBytes(dir.path() / "GPS.zlg").size(), 64u);
    GpsViewCommands gps(appSettings(), doc, windows, clock());
    EXPECT_EQ(gps.map().pointCount(), 2);

    windows.confirm = false;
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kNewFile));
    EXPECT_EQ(windows.questions, std::vector<std::string>{GpsLink::kNewFileQuestion});
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "GPS0001.zlg"));
    EXPECT_EQ(gps.map().pointCount(), 2);

    windows.confirm = true;
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kNewFile));
    EXPECT_EQ(gps_test::readBytes(dir.path() / "GPS0001.zlg").size(), 64u);
    EXPECT_TRUE(gps_test::readBytes(dir.path() / "GPS.zlg").empty());
    EXPECT_EQ(gps.map().pointCount(), 0);

    ASSERT_TRUE(gps.Perform(GpsViewCommands::kMap));
    EXPECT_EQ(windows.pointsWhenShown, 0);
}

TEST_F(GpsViewCommandsTest, SetClockShowsEachMessageAndNeverClaimsARefusedSetting) {
    GpsViewCommands gps(appSettings(), doc, windows, clock());
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSetClock));  // not connected
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kConnect));
    send(withChecksum(kGga));  // no RMC date yet
    doc.SecondTick();
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSetClock));
    EXPECT_EQ(clockSets, 0);

    send(withChecksum(kRmc) + withChecksum(kGga));  // a fix without GSA: fix type unknown
    doc.SecondTick();
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSetClock));
    EXPECT_EQ(clockSets, 1);

    send(withChecksum(kGsa3d) + withChecksum(kGga));  // 3D fix at 151.2 E, GPStz 660
    doc.SecondTick();
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSetClock));
    appSettings().GPStz = 600;  // one hour short of summer time there
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSetClock));
    setterAgrees = false;
    ASSERT_TRUE(gps.Perform(GpsViewCommands::kSetClock));
    EXPECT_EQ(clockSets, 4);
    EXPECT_EQ(
        windows.clockMessages,
        (std::vector<std::string>{ClockFromGps::kCouldNotSet, ClockFromGps::kCouldNotSet,
                                  ClockFromGps::kNoFix, ClockFromGps::kClockSet,
                                  ClockFromGps::kZoneInconsistent, ClockFromGps::kCouldNotSet}));
    EXPECT_EQ(setTo.year, 2026);
    EXPECT_EQ(setTo.month, 1);
    EXPECT_EQ(setTo.day, 15);
}

}  // namespace
