#include "gps/GpsLink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "GpsTestSupport.h"
#include "gps/GpsPoll.h"
#include "gps/GpsSettingsRules.h"
#include "gps/TrackRecord.h"
#include "platform/MessageSink.h"

namespace {

using gps_test::readBytes;
using gps_test::withChecksum;

int32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        appSettings().GPath = dir.folder();
        appSettings().GPStz = 600;
        previous = platform::setMessageHandler(
            [this](const std::string& text, platform::MessageIcon) { messages.push_back(text); });
        // A device ten hours east of Greenwich.
        link.receiver().setClock([this] { return clock; });
        link.receiver().setUtcClock([this] { return clock - 600 * JulianTime::kMinute; });
        link.LoadSettings();
        link.OpenTrackFile();
    }
    void TearDown() override { platform::setMessageHandler(previous); }
    int32_t feed(const std::string& text) {
        int32_t all = 0;
        for (char c : text) all |= link.FeedByte(static_cast<uint8_t>(c));
        return all;
    }
    std::vector<uint8_t> track() const { return readBytes(dir.path() / "GPS.zlg"); }

    gps_test::SettingsGuard guard;
    gps_test::TempFolder dir;
    platform::MessageHandler previous;
    std::vector<std::string> messages;
    JulianTime clock = JulianTime::fromDateTime(2026, 3, 5, 10, 4, 5, 250000);
    GpsLink link;
};

TEST_F(LinkTest, OneRecordPerAcceptedGgaWithUtcDeviceTime) {
    EXPECT_TRUE(link.logOk());
    feed(withChecksum("$GPGGA,000405,3352.128,S,15112.000,E,1,07,1.0,-12.3456,M,,M,,"));
    std::vector<uint8_t> b = track();
    ASSERT_EQ(b.size(), 32u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "260305");
    EXPECT_EQ(le32(b, 6), 245250);  // 10:04:05.250 local is 00:04:05.250 UTC
    EXPECT_EQ(le32(b, 10), -33868800);
    EXPECT_EQ(le32(b, 14), 151200000);
    EXPECT_EQ(le32(b, 18), -12345);
    EXPECT_EQ(b[22], '5');
    EXPECT_EQ(b[23], 7);
    // Dilutions never reported are stored as the recognisable 0xFFFF.
    EXPECT_EQ(le16(b, 24), TrackRecord::kDopNotReported);
    EXPECT_EQ(le16(b, 28), TrackRecord::kDopNotReported);
    EXPECT_EQ(b[30], 13);
    EXPECT_EQ(b[31], 10);
    // RMC, GSA and GSV sentences write nothing; a no-fix GGA neither.
    feed(withChecksum("$GPRMC,000405,A,3352.128,S,15112.000,E,0.0,0.0,050326,,"));
    feed(withChecksum("$GPGGA,000406,3352.128,S,15112.000,E,0,00,,,M,,M,,"));
    EXPECT_EQ(track().size(), 32u);
}

// The configured zone only serves the plausibility check of "Set Clock": a zone that does
// not match the machine's (the old default of 600 on a machine in UTC, or summer time not
// entered) must not move the stamps.
TEST_F(LinkTest, RecordTimeIsTheSystemUtcWhateverTheConfiguredZone) {
    appSettings().GPStz = -300;
    feed(withChecksum("$GPGGA,000405,3352.128,S,15112.000,E,1,07,1.0,12.0,M,,M,,"));
    clock = JulianTime::fromDateTime(2026, 3, 6, 9, 30, 0, 0);  // 23:30 UTC the day before
    appSettings().GPStz = 600;
    feed(withChecksum("$GPGGA,233000,3352.128,S,15112.000,E,1,07,1.0,12.0,M,,M,,"));
    std::vector<uint8_t> b = track();
    ASSERT_EQ(b.size(), 64u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "260305");
    EXPECT_EQ(le32(b, 6), 245250);
    EXPECT_EQ(std::string(b.begin() + 32, b.begin() + 38), "260305");
    EXPECT_EQ(le32(b, 38), 84600000);
}

TEST_F(LinkTest, StatusAndDilutionsFollowTheReceiver) {
    feed(withChecksum("$GPGSA,A,3,01,02,03,04,,,,,,,,,2.57,1.31,2.2"));
    feed(withChecksum("$GPGGA,000405,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,"));
    feed(withChecksum("$GPGSA,A,2,01,02,03,04,,,,,,,,,2.5,1.3,2.2"));
    std::vector<uint8_t> b = track();
    ASSERT_EQ(b.size(), 32u);
    EXPECT_EQ(b[22], '>');  // fix, 3D, differential
    EXPECT_EQ(le16(b, 24), 25);
    EXPECT_EQ(le16(b, 26), 13);
    EXPECT_EQ(le16(b, 28), 22);
    EXPECT_EQ(TrackRecord::statusCode(5), 13);
    EXPECT_EQ(TrackRecord::statusCode(3), 6);
    EXPECT_EQ(TrackRecord::statusCode(2), 0);
    EXPECT_EQ(TrackRecord::dopField(99999.0), 65534);
}

TEST_F(LinkTest, RecordRoundTripAndYearOutsideTwoDigits) {
    GpsFix f;
    f.latitude = -33.8688;
    f.longitude = 151.2093;
    f.altitude = 12.5;
    f.satellitesUsed = 300;
    f.pdop = 1.29;
    TrackRecord r = TrackRecord::fromFix(JulianTime::fromDateTime(1970, 1, 1, 0, 0, 1, 0), f, 7);
    std::array<uint8_t, 32> bytes{};
    r.encode(bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "700101");
    TrackRecord back;
    ASSERT_TRUE(back.decode(bytes));
    EXPECT_EQ(back.latitudeE6, -33868800);
    EXPECT_EQ(back.longitudeE6, 151209300);
    EXPECT_EQ(back.altitudeMm, 12500);
    EXPECT_EQ(back.satellites, 300 & 0xFF);
    EXPECT_EQ(back.pdop10, 12);
    EXPECT_EQ(back.status, '>');
    EXPECT_EQ(back.timeMs, 1000);
}

TEST_F(LinkTest, NewTrackFileTakesTheFirstFreeNumber) {
    feed(withChecksum("$GPGGA,000405,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    std::ofstream(dir.path() / "GPS0001.zlg") << "one";
    std::ofstream(dir.path() / "GPS0002.zlg") << "two";
    EXPECT_TRUE(link.NewTrackFile());
    EXPECT_EQ(readBytes(dir.path() / "GPS0003.zlg").size(), 32u);
    EXPECT_EQ(readBytes(dir.path() / "GPS0001.zlg").size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "GPS.zlg"));
    EXPECT_EQ(track().size(), 0u);
    feed(withChecksum("$GPGGA,000406,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(track().size(), 32u);
    // Without any track file a new empty one is simply started.
    std::filesystem::remove(dir.path() / "GPS.zlg");
    EXPECT_TRUE(link.NewTrackFile());
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "GPS.zlg"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "GPS0004.zlg"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(LinkTest, NewTrackFileGivesUpWhenEveryNumberIsTaken) {
    feed(withChecksum("$GPGGA,000405,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    for (int32_t n = 1; n <= GpsLink::kMaxTrackFileNumber; ++n) {
        std::ofstream(GpsLink::NumberedTrackFileName(dir.folder(), n));
    }
    EXPECT_FALSE(link.NewTrackFile());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], GpsLink::kNewFileFailedMessage);
    EXPECT_EQ(readBytes(dir.path() / "GPS9999.zlg").size(), 0u);
    // Logging goes on in the old file.
    feed(withChecksum("$GPGGA,000406,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(track().size(), 64u);
}

// Two years of a record a second; on a 32-bit board too the track goes on past 2 GiB.
TEST_F(LinkTest, TrackFileOfTwoGibibytesTakesMoreRecords) {
    const std::filesystem::path file = dir.path() / "GPS.zlg";
    const uintmax_t big = uintmax_t{1} << 31;
    std::filesystem::resize_file(file, big);  // sparse: takes no room on the disk
    link.OpenTrackFile();
    feed(withChecksum("$GPGGA,000405,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_TRUE(link.logOk());
    EXPECT_EQ(std::filesystem::file_size(file), big + TrackRecord::kSize);
    EXPECT_TRUE(messages.empty());
}

TEST_F(LinkTest, TrackFileThatCannotBeOpened) {
    // A folder that cannot be had: no message, no logging.
    appSettings().GPath = (dir.path() / "missing" / "").string();
    link.setFolderCheck([] { return false; });
    link.LoadSettings();
    link.OpenTrackFile();
    EXPECT_FALSE(link.logOk());
    EXPECT_TRUE(messages.empty());
    // A folder that is there but holds a directory named like the track file: the message.
    std::filesystem::remove(dir.path() / "GPS.zlg");
    std::filesystem::create_directories(dir.path() / "GPS.zlg");
    appSettings().GPath = dir.folder();
    link.setFolderCheck([] { return true; });
    link.LoadSettings();
    link.OpenTrackFile();
    EXPECT_FALSE(link.logOk());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], GpsLink::kOpenFailedMessage);
    // Parsing goes on.
    EXPECT_EQ(feed(withChecksum("$GPGGA,000406,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,")), 1);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(LinkTest, ObserverSeesEveryNonZeroResult) {
    std::vector<int32_t> seen;
    link.setFixObserver([&](const GpsFix& f) { seen.push_back(f.quality); });
    feed(withChecksum("$GPGSV,1,1,01,21,10,100,40"));
    feed(withChecksum("$GPGGA,000406,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,"));
    EXPECT_EQ(seen.size(), 2u);  // the satellite commit, then the GGA
}

TEST_F(LinkTest, ClosedLinkHasNoClockOffsetOrDrain) {
    feed(withChecksum("$GPGGA,000405,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    feed(withChecksum("$GPRMC,000405,A,4807.038,N,01131.000,E,0.0,0.0,050326,,"));
    JulianTime offset;
    EXPECT_FALSE(link.GetClockOffset(offset));
    EXPECT_FALSE(link.Drain());
}

TEST(ClockOffset, DayCorrectionAgainstTheUtcClock) {
    GpsFix f;
    f.ggaTime = JulianTime::fromDateTime(0, 0, 0, 23, 59, 59, 500000);
    // Device at 10:00 local in a +10 zone; the local reading takes no part.
    f.receivedAt = JulianTime::fromDateTime(2026, 3, 6, 10, 0, 0, 0);
    f.receivedAtUtc = JulianTime::fromDateTime(2026, 3, 6, 0, 0, 0, 0);
    f.rmcDateTime = JulianTime::fromDateTime(2026, 3, 5, 23, 59, 59, 0);
    JulianTime offset;
    ASSERT_TRUE(GpsLink::ComputeClockOffset(f, 1, offset));
    EXPECT_EQ(offset.value(), 500000);
    // GGA past midnight, RMC still the day before: +1 day.
    f.ggaTime = JulianTime::fromDateTime(0, 0, 0, 0, 0, 1, 0);
    f.rmcDateTime = JulianTime::fromDateTime(2026, 3, 4, 23, 59, 59, 0);
    f.receivedAtUtc = JulianTime::fromDateTime(2026, 3, 5, 0, 0, 1, 0);
    ASSERT_TRUE(GpsLink::ComputeClockOffset(f, 1, offset));
    EXPECT_EQ(offset.value(), 0);
    // GGA before midnight, RMC already the next day: -1 day.
    f.ggaTime = JulianTime::fromDateTime(0, 0, 0, 23, 59, 59, 0);
    f.rmcDateTime = JulianTime::fromDateTime(2026, 3, 5, 0, 0, 1, 0);
    f.receivedAtUtc = JulianTime::fromDateTime(2026, 3, 4, 23, 59, 59, 0);
    ASSERT_TRUE(GpsLink::ComputeClockOffset(f, 1, offset));
    EXPECT_EQ(offset.value(), 0);
    // Never an RMC, or no valid fix: no offset.
    f.rmcDateTime = JulianTime();
    EXPECT_FALSE(GpsLink::ComputeClockOffset(f, 1, offset));
    f.rmcDateTime = JulianTime::fromDateTime(2026, 3, 5, 0, 0, 1, 0);
    EXPECT_FALSE(GpsLink::ComputeClockOffset(f, 0, offset));
}

// Receivers whose week count has wrapped send the date 1024 weeks (or twice that) back: on
// 6 December 2026 one sends 22 April 2007, an older one 6 September 1987, whose two digits
// read as 2087. The clock is set to the true date either way; a date already plausible is
// kept, across UTC midnight too.
TEST(ClockOffset, DatesOfAWrappedWeekCountAreCarriedForward) {
    const JulianTime truth = JulianTime::fromDateTime(2026, 12, 6, 23, 59, 59, 500000);
    for (const char* date : {"220407", "060987", "061226"}) {
        GpsReceiver receiver;
        receiver.setUtcClock([truth] { return truth; });
        for (const std::string& s :
             {withChecksum(std::string("$GPRMC,235959,A,4807.038,N,01131.000,E,0.0,0.0,") + date +
                           ",,"),
              withChecksum("$GPGGA,235959.5,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")}) {
            for (char c : s + "\r\n") receiver.AddChar(static_cast<unsigned char>(c));
        }
        JulianTime offset;
        ASSERT_TRUE(GpsLink::ComputeClockOffset(receiver.current(), receiver.validity(), offset))
            << date;
        EXPECT_EQ(offset.value(), 0) << date;
    }
}

// A GPS connection the poll can be driven through without a port.
class FakeSource : public GpsPositionSource {
  public:
    bool IsPortOpen() const override { return open; }
    bool Drain() override { return ggaArrives; }
    int32_t GetPosition(double& la, double& lo, double& al) const override {
        la = lat;
        lo = lon;
        al = alt;
        return fixClass;
    }
    bool GetClockOffset(JulianTime& o) override {
        o = offset;
        return offsetKnown;
    }
    bool open = true, ggaArrives = true, offsetKnown = true;
    int32_t fixClass = 5;
    double lat = -33.8688, lon = 151.2093, alt = 12.5;
    JulianTime offset;
};

TEST(Poll, StalenessDropsThePositionOnTheSeventhQuietPoll) {
    FakeSource src;
    GpsPoll poll(src);
    std::vector<PositionBlock> blocks;
    poll.setPositionSink([&](const PositionBlock& b) { blocks.push_back(b); });
    EXPECT_EQ(poll.Poll(), -1);  // not connected
    poll.setConnected(true);
    EXPECT_EQ(poll.Poll(), 5);
    EXPECT_EQ(poll.positionMode(), 1);
    EXPECT_EQ(poll.altitude(), 13);
    EXPECT_EQ(blocks.back().text(), "WGS84     S3386880 E15120930  13");
    src.ggaArrives = false;
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(poll.Poll(), 5) << i;
        EXPECT_EQ(poll.staleness(), i);
    }
    EXPECT_EQ(poll.Poll(), 0);
    EXPECT_EQ(poll.positionMode(), 0);
    EXPECT_EQ(poll.staleness(), 6);
    EXPECT_TRUE(blocks.back().isEmpty());
    src.ggaArrives = true;
    EXPECT_EQ(poll.Poll(), 5);
    EXPECT_EQ(poll.staleness(), 0);
}

TEST(Poll, NoFixOrClosedPortGivesNoPosition) {
    FakeSource src;
    GpsPoll poll(src);
    poll.setConnected(true);
    src.alt = -12.5;
    EXPECT_EQ(poll.Poll(), 5);
    EXPECT_EQ(poll.altitude(), -12);
    src.fixClass = 0;
    src.lat = 1.0;
    EXPECT_EQ(poll.Poll(), 0);
    EXPECT_EQ(poll.positionMode(), 0);
    EXPECT_DOUBLE_EQ(poll.latitude(), -33.8688);  // the stored position keeps its values
    src.fixClass = 7;
    src.open = false;
    EXPECT_EQ(poll.Poll(), 0);
    EXPECT_EQ(poll.positionMode(), 0);
}

TEST(Poll, WholeMetresRoundHalfUpBelowSeaLevelToo) {
    const struct {
        double altitude;
        int32_t metres;
    } cases[] = {{12.5, 13}, {-12.5, -12},   {-1.0, -1}, {-500.0, -500},    {-0.5, 0},
                 {-0.6, -1}, {-499.5, -499}, {0.49, 0},  {1e12, INT32_MAX}, {-1e12, INT32_MIN}};
    for (const auto& c : cases) EXPECT_EQ(GpsPoll::WholeMetres(c.altitude), c.metres) << c.altitude;
}

TEST_F(LinkTest, FixClassFromQualityAndMode) {
    double la, lo, al;
    EXPECT_EQ(link.GetPosition(la, lo, al), 0);
    feed(withChecksum("$GPGGA,000405,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(link.GetPosition(la, lo, al), 0);  // no GSA yet: fix type 1
    feed(withChecksum("$GPGSA,A,2,01,02,03,,,,,,,,,,2.5,1.3,2.2"));
    EXPECT_EQ(link.GetPosition(la, lo, al), 1);
    feed(withChecksum("$GPGGA,000406,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(link.GetPosition(la, lo, al), 3);
    feed(withChecksum("$GPGSA,A,3,01,02,03,04,,,,,,,,,2.5,1.3,2.2"));
    EXPECT_EQ(link.GetPosition(la, lo, al), 7);
    EXPECT_NEAR(la, 48.1173, 1e-9);
    EXPECT_DOUBLE_EQ(al, 545.4);
}

TEST(SettingsDialogRules, BaudZoneAndPort) {
    using namespace gps_settings;
    EXPECT_EQ(BaudIndex(38400), 6);
    EXPECT_FALSE(BaudIndex(31250).has_value());
    TimeZoneFields f = ToFields(-570);
    EXPECT_TRUE(f.negative);
    EXPECT_EQ(f.hours, 9);
    EXPECT_EQ(f.minutes, 30);
    EXPECT_EQ(FromFields(f), -570);
    EXPECT_EQ(FromFields(ToFields(600)), 600);
    EXPECT_FALSE(FieldsValid({false, 13, 0}));
    EXPECT_FALSE(FieldsValid({false, 0, 60}));
    // No entry selected (the receiver unplugged): the old port and rate are kept.
    Choice c = OnOk(std::nullopt, 8, std::nullopt, 4800, {true, 0, 45});
    EXPECT_EQ(c.GPSport, 8);
    EXPECT_EQ(c.GPSbaudrate, 4800);
    EXPECT_EQ(c.GPStz, -45);
    c = OnOk(205, 8, 8, 4800, {false, 10, 0});
    EXPECT_EQ(c.GPSport, 205);
    EXPECT_EQ(c.GPSbaudrate, 115200);
}

}  // namespace
