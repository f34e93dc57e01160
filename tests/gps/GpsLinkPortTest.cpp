// The GPS link over a real serial line (a pseudo-terminal registered as a virtual port).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "GpsTestSupport.h"
#include "acquisition/PtyPeer.h"
#include "gps/GpsCommands.h"
#include "gps/GpsLink.h"
#include "gps/GpsMap.h"
#include "gps/GpsPositionFeed.h"
#include "platform/MessageSink.h"

using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;

namespace {

using gps_test::withChecksum;

std::vector<uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

class Progress : public GpsLink::ConnectionProgress {
  public:
    void show(const std::string& heading, const std::string& status) override {
        texts.push_back(heading + "|" + status);
    }
    void setStatus(const std::string& status) override { texts.push_back(status); }
    void close() override { texts.push_back("closed"); }
    std::vector<std::string> texts;
};

class LinkPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        runtime.registerPort(210, peer.slavePath(), "GPS simulator");
        appSettings().GPath = dir.folder();
        appSettings().GPSport = 210;
        appSettings().GPSbaudrate = 4800;
        appSettings().GPStz = 0;
    }
    // The bytes reach the slave side at once; a short pause lets the line settle.
    void send(const std::string& text) {
        peer.send(bytesOf(text));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    gps_test::SettingsGuard guard;
    gps_test::TempFolder dir;
    PrivateRuntimeDir runtime;
    PtyPeer peer;
};

const std::string kGga = "$GPGGA,235959.5,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
const std::string kRmc = "$GPRMC,235959,A,4807.038,N,01131.000,E,0.0,0.0,050326,,";

TEST_F(LinkPortTest, ConnectDrainAndClockOffset) {
    GpsLink link;
    Progress progress;
    ASSERT_TRUE(link.Connect(&progress));
    EXPECT_EQ(progress.texts,
              (std::vector<std::string>{"Connecting to GPS|Port 210 - please wait",
                                        "Setting Timeouts", "Opening ZLG file", "closed"}));
    EXPECT_TRUE(link.IsPortOpen());
    EXPECT_TRUE(link.logOk());
    EXPECT_FALSE(link.Drain());  // nothing waiting: returns at once
    // Sentences arriving between polls are all parsed at the next one, in order.
    send(withChecksum(kRmc) + withChecksum(kGga) + withChecksum(kGga));
    EXPECT_TRUE(link.Drain());
    EXPECT_EQ(gps_test::readBytes(dir.path() / "GPS.zlg").size(), 64u);
    JulianTime offset;
    ASSERT_TRUE(link.GetClockOffset(offset));
    // The offset is the device clock in UTC against 5 March 23:59:59.5 UTC.
    const JulianTime fixUtc = JulianTime::fromDateTime(2026, 3, 5, 23, 59, 59, 500000);
    EXPECT_EQ(offset, link.receiver().current().receivedAtUtc - fixUtc);

    // Connecting again only takes the settings.
    appSettings().GPSport = 7;
    EXPECT_TRUE(link.Connect(&progress));
    EXPECT_EQ(link.portNumber(), 7);
    EXPECT_TRUE(link.IsPortOpen());
    send(withChecksum(kGga));
    EXPECT_TRUE(link.Drain());

    link.Disconnect();
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_FALSE(link.GetClockOffset(offset));
}

TEST_F(LinkPortTest, APortThatNeverRunsDryCannotHoldThePoll) {
    GpsLink link;
    ASSERT_TRUE(link.Connect());
    const std::string gga = withChecksum(kGga);
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::thread flood([&] {
        while (!stop) peer.send(bytesOf(gga));
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(link.Drain());  // returns although the receiver never pauses
    const size_t records = gps_test::readBytes(dir.path() / "GPS.zlg").size() / 32;
    EXPECT_GT(records, 0u);
    // About a second and a half of 115200 baud at most.
    EXPECT_LE(records, 17280u / gga.size() + 1);
    stop = true;
    while (!done) link.Drain();  // a sender blocked on a full line goes on and sees `stop`
    flood.join();
}

TEST_F(LinkPortTest, PortThatCannotBeOpened) {
    appSettings().GPSport = 211;  // not registered
    GpsLink link;
    Progress progress;
    EXPECT_FALSE(link.Connect(&progress));
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_EQ(progress.texts, (std::vector<std::string>{"Connecting to GPS|Port 211 - please wait",
                                                        "Connection Failed", "closed"}));
}

TEST_F(LinkPortTest, PositionFeedHandsTheFixToRecordings) {
    std::vector<PositionBlock> blocks;
    GpsPositionFeed feed([&](const PositionBlock& b) { blocks.push_back(b); });
    ASSERT_TRUE(feed.Connect(210, 4800));
    send(withChecksum("$GPGSA,A,3,01,02,03,04,,,,,,,,,2.5,1.3,2.2") + withChecksum(kGga));
    EXPECT_EQ(feed.SecondTick(), 5);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks.back().text(), "WGS84     N4811730 E01151667 545");
    feed.Stop();
    EXPECT_EQ(feed.SecondTick(), 0);
    EXPECT_TRUE(blocks.back().isEmpty());
}

// Unplugged and plugged back (a USB drop-out): the receiver is opened again by the ticks.
TEST_F(LinkPortTest, PositionFeedOpensALostReceiverAgain) {
    auto first = std::make_unique<PtyPeer>();
    runtime.registerPort(212, first->slavePath(), "GPS simulator");
    GpsPositionFeed feed([](const PositionBlock&) {});
    feed.setReopenLostPort(true);
    ASSERT_TRUE(feed.Connect(212, 4800));
    first.reset();
    for (int tick = 0; tick < 10 && feed.link().IsPortOpen(); ++tick) {
        EXPECT_EQ(feed.SecondTick(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_FALSE(feed.link().IsPortOpen());
    PtyPeer second;
    runtime.registerPort(212, second.slavePath(), "GPS simulator");
    for (int tick = 0; tick < 3 && !feed.link().IsPortOpen(); ++tick) feed.SecondTick();
    ASSERT_TRUE(feed.link().IsPortOpen());
    second.send(
        bytesOf(withChecksum("$GPGSA,A,3,01,02,03,04,,,,,,,,,2.5,1.3,2.2") + withChecksum(kGga)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(feed.SecondTick(), 5);
}

}  // namespace

namespace {

TEST_F(LinkPortTest, ConnectCommandTogglesAndNewFileReloadsTheMap) {
    GpsLink link;
    GpsPoll poll(link);
    GpsMap map;
    map.InitMap(dir.folder());
    EXPECT_STREQ(gps_commands::ConnectMenuText(poll.connected()), "Connect");
    EXPECT_TRUE(gps_commands::ToggleConnection(link, poll));
    EXPECT_TRUE(link.IsPortOpen());
    EXPECT_STREQ(gps_commands::ConnectMenuText(poll.connected()), "Disconnect");
    EXPECT_FALSE(gps_commands::SetClockEnabled(link));
    send(withChecksum(kGga));
    EXPECT_EQ(poll.Poll(), 0);  // a fix without a GSA sentence is no position
    EXPECT_TRUE(gps_commands::SetClockEnabled(link));
    map.LoadTrack();
    EXPECT_EQ(map.pointCount(), 1);
    EXPECT_TRUE(gps_commands::NewFile(link, map));
    EXPECT_EQ(map.pointCount(), 0);
    EXPECT_FALSE(gps_commands::ToggleConnection(link, poll));
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_EQ(poll.Poll(), -1);
    // A failed connection still counts as connected: the status line shows '-'.
    appSettings().GPSport = 211;
    EXPECT_TRUE(gps_commands::ToggleConnection(link, poll));
    EXPECT_FALSE(link.IsPortOpen());
    EXPECT_EQ(poll.Poll(), 0);
    EXPECT_FALSE(gps_commands::ConnectEnabled(true));
}

}  // namespace
