#include "gps/GpsReceiver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const JulianTime kNow = JulianTime::fromDateTime(2026, 3, 6, 10, 0, 0, 0);

// Feeds `text` and returns every non-zero result with the index of the byte that gave it.
struct Feed {
    std::vector<int32_t> results;
    std::vector<size_t> at;
};

Feed feed(GpsReceiver& r, const std::string& text) {
    Feed f;
    for (size_t i = 0; i < text.size(); ++i) {
        const int32_t res = r.AddChar(static_cast<uint8_t>(text[i]));
        if (res != 0) {
            f.results.push_back(res);
            f.at.push_back(i);
        }
    }
    return f;
}

std::string withChecksum(const std::string& body) {
    uint32_t x = 0;
    for (char c : body.substr(1)) x ^= static_cast<uint8_t>(c);
    char buf[8];
    std::snprintf(buf, sizeof buf, "*%02X", x);
    return body + buf;
}

const std::string kGgaBody = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
const std::string kGga = kGgaBody + "*47\r\n";

class ReceiverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rx.setClock([] { return kNow; });
    }
    GpsReceiver rx;
};

TEST_F(ReceiverTest, ReferenceGgaGivesPositionTimeAndValidity) {
    Feed f = feed(rx, kGga);
    ASSERT_EQ(f.results, std::vector<int32_t>{1});
    EXPECT_EQ(f.at[0], kGga.size() - 2);  // the CR; the LF finds no sentence
    const GpsFix& c = rx.current();
    EXPECT_NEAR(c.latitude, 48.1173, 1e-9);
    EXPECT_NEAR(c.longitude, 11.516667, 1e-6);
    EXPECT_DOUBLE_EQ(c.altitude, 545.4);
    EXPECT_DOUBLE_EQ(c.geoidSeparation, 46.9);
    EXPECT_EQ(c.quality, 1);
    EXPECT_EQ(c.satellitesUsed, 8);
    EXPECT_EQ(rx.validity(), 1u);
    EXPECT_EQ(c.ggaTime, JulianTime::fromDateTime(0, 0, 0, 12, 35, 19, 0));
    EXPECT_EQ(c.receivedAt, kNow);
}

TEST_F(ReceiverTest, ChecksumRules) {
    EXPECT_TRUE(feed(rx, kGgaBody + "*4a\r\n").results.empty());  // wrong value
    EXPECT_EQ(feed(rx, kGga).results, std::vector<int32_t>{1});
    // Hexadecimal letters are accepted in either case.
    const std::string rmcBody = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
    EXPECT_EQ(feed(rx, rmcBody + "*6a\r\n").results, std::vector<int32_t>{8});
    EXPECT_EQ(feed(rx, rmcBody + "*6A\r\n").results, std::vector<int32_t>{8});
    EXPECT_TRUE(feed(rx, rmcBody + "*6b\r\n").results.empty());
    // One checksum character, three characters, or a non-hex digit: dropped.
    GpsReceiver r2;
    EXPECT_TRUE(feed(r2, kGgaBody + "*4\r\n").results.empty());
    EXPECT_TRUE(feed(r2, kGgaBody + "*470\r\n").results.empty());
    EXPECT_TRUE(feed(r2, kGgaBody + "*4G\r\n").results.empty());
    EXPECT_TRUE(feed(r2, kGgaBody + "*\r\n").results.empty());
    EXPECT_EQ(r2.validity(), 0u);
    // No '*' at all: parsed without a checksum test.
    EXPECT_EQ(feed(r2, kGgaBody + "\r\n").results, std::vector<int32_t>{1});
    // After a failed checksum the rest of the line is ignored up to the next '$'.
    GpsReceiver r3;
    EXPECT_EQ(feed(r3, kGgaBody + "*00garbage\n" + kGga).results, std::vector<int32_t>{1});
}

TEST_F(ReceiverTest, OnlyGpAndCombinedTalkersAndKnownTypesAreRead) {
    const auto as = [](const std::string& head) {
        return withChecksum(head + kGgaBody.substr(6)) + "\r\n";
    };
    EXPECT_TRUE(feed(rx, as("$GLGGA") + as("$GAGGA") + as("$BDGGA")).results.empty());
    EXPECT_TRUE(feed(rx, withChecksum("$GNGSV,1,1,01,65,40,083,46") + "\r\n").results.empty());
    EXPECT_TRUE(
        feed(rx, withChecksum("$GPGLL,4916.45,N,12311.12,W,225444,A") + "\r\n").results.empty());
    EXPECT_TRUE(feed(rx, "$GPGGA\r\n$GP\r\n$\r\n$GPGGAX123\r\n").results.empty());
    EXPECT_EQ(rx.validity(), 0u);
    EXPECT_EQ(rx.current().latitude, kGpsNotReported);
    EXPECT_EQ(rx.current().satelliteCount, 0);
    EXPECT_EQ(feed(rx, as("$GNGGA")).results, std::vector<int32_t>{GpsReceiver::kGga});
    EXPECT_NEAR(rx.current().latitude, 48.1173, 1e-9);
}

TEST_F(ReceiverTest, NoFixGgaClearsValidityButKeepsPosition) {
    feed(rx, kGga);
    const std::string noFix =
        withChecksum("$GPGGA,123520,4900.000,N,01131.000,E,0,00,0.9,545.4,M,46.9,M,,") + "\r\n";
    EXPECT_TRUE(feed(rx, noFix).results.empty());
    EXPECT_EQ(rx.validity(), 0u);
    EXPECT_NEAR(rx.current().latitude, 48.1173, 1e-9);
}

TEST_F(ReceiverTest, GeoidSeparationFieldRules) {
    // Empty field 10: accepted, the work value is kept.
    feed(rx, kGga);
    const std::string noSep =
        withChecksum("$GPGGA,123520,4807.038,N,01131.000,E,2,08,0.9,546.0,M,,M,,") + "\r\n";
    EXPECT_EQ(feed(rx, noSep).results, std::vector<int32_t>{1});
    EXPECT_DOUBLE_EQ(rx.current().geoidSeparation, 46.9);
    EXPECT_EQ(rx.validity(), 3u);  // differential added
    // Field 10 present with a unit other than M: rejected.
    const std::string badUnit =
        withChecksum("$GPGGA,123521,4807.038,N,01131.000,E,1,08,0.9,547.0,M,46.9,F,,") + "\r\n";
    EXPECT_TRUE(feed(rx, badUnit).results.empty());
    EXPECT_DOUBLE_EQ(rx.current().altitude, 546.0);
    // Altitude unit must be M too; too few fields fail.
    EXPECT_TRUE(
        feed(rx, withChecksum("$GPGGA,123521,4807.038,N,01131.000,E,1,08,0.9,547.0,F,46.9,M,,") +
                     "\r\n")
            .results.empty());
    EXPECT_TRUE(
        feed(rx,
             withChecksum("$GPGGA,123521,4807.038,N,01131.000,E,1,08,0.9,547.0,M,46.9") + "\r\n")
            .results.empty());
}

TEST_F(ReceiverTest, ImpossibleFieldsDropTheSentenceLikeABadChecksum) {
    feed(rx, kGga);
    const GpsFix before = rx.current();
    const auto with = [](const std::string& from, const std::string& to) {
        std::string body = kGgaBody;
        return withChecksum(body.replace(body.find(from), from.size(), to)) + "\r\n";
    };
    // Latitude, longitude (degrees, minutes, sign), satellites, altitude: one field each.
    for (const auto& [from, to] :
         std::vector<std::pair<std::string, std::string>>{{"4807.038", "9000.001"},
                                                          {"4807.038", "1" + std::string(37, '0')},
                                                          {"4807.038", "-0100.000"},
                                                          {"01131.000", "18000.001"},
                                                          {"01131.000", "01160.000"},
                                                          {",08,", ",-1,"},
                                                          {",08,", ",100,"},
                                                          {"545.4", "100000.1"},
                                                          {"545.4", "-1000.1"},
                                                          {"545.4", "100000000000"}}) {
        EXPECT_TRUE(feed(rx, with(from, to)).results.empty()) << to;
        EXPECT_EQ(rx.validity(), 1u);
        EXPECT_EQ(rx.current().latitude, before.latitude);
        EXPECT_EQ(rx.current().longitude, before.longitude);
        EXPECT_EQ(rx.current().altitude, before.altitude);
        EXPECT_EQ(rx.current().satellitesUsed, before.satellitesUsed);
    }
    EXPECT_EQ(feed(rx, with("4807.038,N,01131.000,E,1,08,0.9,545.4",
                            "9000.000,S,18000.000,W,1,99,0.9,-1000.0"))
                  .results,
              std::vector<int32_t>{1});
    EXPECT_EQ(rx.current().latitude, -90.0);

    // Dilutions given must lie within 0..99.9; a no-fix report with 99.99 still clears.
    feed(rx, withChecksum("$GPGSA,A,3,14,09,,,,,,,,,,,1.5,0.9,1.2") + "\r\n");
    for (const char* dops : {"100.0,0.9,1.2", "1.5,99.91,1.2", "1.5,0.9,-0.1"}) {
        EXPECT_TRUE(feed(rx, withChecksum(std::string("$GPGSA,A,2,14,,,,,,,,,,,,") + dops) + "\n")
                        .results.empty());
        EXPECT_EQ(rx.current().fixType, 3);
        EXPECT_EQ(rx.current().pdop, 1.5);
    }
    EXPECT_EQ(feed(rx, withChecksum("$GPGSA,A,2,14,,,,,,,,,,,,99.9,0,1") + "\n").results.size(),
              1u);
    feed(rx, withChecksum("$GPGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99") + "\r\n");
    EXPECT_EQ(rx.validity(), 0u);
}

TEST_F(ReceiverTest, EndOfInputTakesTheLastSentenceAndSatelliteList) {
    const std::string gsv = withChecksum("$GPGSV,1,1,02,01,10,100,40,02,20,200,") + "\r\n";
    EXPECT_TRUE(feed(rx, gsv).results.empty());
    EXPECT_EQ(rx.EndOfInput(), 4);
    EXPECT_EQ(rx.current().satelliteCount, 2);
    // A last sentence whose checksum has been checked counts without its line end...
    EXPECT_TRUE(feed(rx, gsv + kGgaBody + "*47").results == std::vector<int32_t>{4});
    EXPECT_EQ(rx.EndOfInput(), 1);
    // ...one that may have been cut off does not: no checksum, half a checksum, a bad one.
    GpsReceiver r2;
    for (const std::string& tail : {kGgaBody, kGgaBody + "*4", kGgaBody + "*48"}) {
        feed(r2, tail);
        EXPECT_EQ(r2.EndOfInput(), 0) << tail;
    }
}

TEST(ReceiverFields, LatLon) {
    double v = 0;
    EXPECT_TRUE(GpsReceiver::ParseLatLon("4807.038", "s", v));
    EXPECT_NEAR(v, -48.1173, 1e-9);
    EXPECT_TRUE(GpsReceiver::ParseLatLon("01131.000", "W", v));
    EXPECT_NEAR(v, -11.516666667, 1e-8);
    EXPECT_FALSE(GpsReceiver::ParseLatLon("4860.000", "N", v));
    EXPECT_FALSE(GpsReceiver::ParseLatLon("4807.038", "NE", v));
    EXPECT_FALSE(GpsReceiver::ParseLatLon("4807.038", "X", v));
    EXPECT_FALSE(GpsReceiver::ParseLatLon("", "N", v));
    EXPECT_FALSE(GpsReceiver::ParseLatLon("48.07.038", "N", v));
}

TEST(ReceiverFields, TimeAndDate) {
    JulianTime t;
    EXPECT_FALSE(GpsReceiver::ParseTime("235960", t));
    EXPECT_FALSE(GpsReceiver::ParseTime("240000", t));
    EXPECT_FALSE(GpsReceiver::ParseTime("236000", t));
    EXPECT_FALSE(GpsReceiver::ParseTime("-6000", t));
    EXPECT_TRUE(GpsReceiver::ParseTime("000000", t));
    EXPECT_EQ(t, JulianTime(int64_t{0}));
    EXPECT_TRUE(GpsReceiver::ParseTime("235959.5", t));
    EXPECT_EQ(t.value(), JulianTime::kDay - 500000);
    EXPECT_TRUE(GpsReceiver::ParseTime("145243.250", t));
    EXPECT_EQ(t, JulianTime::fromDateTime(0, 0, 0, 14, 52, 43, 250000));

    JulianTime d;
    EXPECT_TRUE(GpsReceiver::ParseDate("010100", d));
    EXPECT_EQ(d, JulianTime::fromDate(2000, 1, 1));
    EXPECT_TRUE(GpsReceiver::ParseDate("311299", d));
    EXPECT_EQ(d, JulianTime::fromDate(2099, 12, 31));
    EXPECT_FALSE(GpsReceiver::ParseDate("320101", d));
    EXPECT_FALSE(GpsReceiver::ParseDate("001299", d));
    EXPECT_FALSE(GpsReceiver::ParseDate("011399", d));
    EXPECT_FALSE(GpsReceiver::ParseDate("010099", d));
}

TEST(ReceiverFields, NumberCharacterRules) {
    int32_t i = 0;
    EXPECT_TRUE(GpsReceiver::ParseInt("-12", i));
    EXPECT_EQ(i, -12);
    EXPECT_TRUE(GpsReceiver::ParseInt("+7", i));
    EXPECT_EQ(i, 7);
    EXPECT_FALSE(GpsReceiver::ParseInt("1-2", i));
    EXPECT_FALSE(GpsReceiver::ParseInt("1.0", i));
    EXPECT_FALSE(GpsReceiver::ParseInt("", i));
    EXPECT_FALSE(GpsReceiver::ParseInt(" 1", i));
    double d = 0;
    EXPECT_TRUE(GpsReceiver::ParseReal("-33.2", d));
    EXPECT_DOUBLE_EQ(d, -33.2);
    EXPECT_TRUE(GpsReceiver::ParseReal("+.5", d));
    EXPECT_DOUBLE_EQ(d, 0.5);
    EXPECT_TRUE(GpsReceiver::ParseReal("-", d));
    EXPECT_DOUBLE_EQ(d, 0.0);
    EXPECT_FALSE(GpsReceiver::ParseReal("1.2.3", d));
    EXPECT_FALSE(GpsReceiver::ParseReal("1e5", d));
    EXPECT_FALSE(GpsReceiver::ParseReal("1+", d));
    EXPECT_FALSE(GpsReceiver::ParseReal("", d));
}

TEST_F(ReceiverTest, RmcNeedsActiveStatusAndEveryField) {
    const std::string good =
        withChecksum("$GPRMC,235959,A,4807.038,N,01131.000,E,022.4,084.4,050326,003.1,W") + "\r\n";
    EXPECT_EQ(feed(rx, good).results, std::vector<int32_t>{8});
    const JulianTime expected = JulianTime::fromDateTime(2026, 3, 5, 23, 59, 59, 0);
    EXPECT_EQ(rx.current().rmcDateTime, expected);
    EXPECT_DOUBLE_EQ(rx.current().speed, 22.4);
    EXPECT_DOUBLE_EQ(rx.current().course, 84.4);
    EXPECT_EQ(rx.validity(), 0u);  // RMC never changes validity or position
    EXPECT_EQ(rx.current().latitude, kGpsNotReported);
    const std::string warn =
        withChecksum("$GPRMC,000001,V,4807.038,N,01131.000,E,022.4,084.4,060326,003.1,W") + "\r\n";
    const std::string noCourse =
        withChecksum("$GPRMC,000001,A,4807.038,N,01131.000,E,022.4,,060326,003.1,W") + "\r\n";
    EXPECT_TRUE(feed(rx, warn + noCourse).results.empty());
    EXPECT_EQ(rx.current().rmcDateTime, expected);
}

TEST_F(ReceiverTest, GsaSetsFixTypeAndDilutions) {
    const std::string gsa =
        withChecksum("$GPGSA,A,3,14,09,22,18,19,24,06,21,03,31,,,1.58,0.87,1.31") + "\r\n";
    EXPECT_EQ(feed(rx, gsa).results, std::vector<int32_t>{2});
    EXPECT_EQ(rx.current().fixType, 3);
    EXPECT_DOUBLE_EQ(rx.current().pdop, 1.58);
    EXPECT_DOUBLE_EQ(rx.current().hdop, 0.87);
    EXPECT_DOUBLE_EQ(rx.current().vdop, 1.31);
    EXPECT_EQ(rx.validity(), 5u);
    // A missing VDOP field keeps the old value; an empty PDOP too.
    const std::string short2d = withChecksum("$GPGSA,A,2,14,09,22,,,,,,,,,,,2.5") + "\r\n";
    EXPECT_EQ(feed(rx, short2d).results, std::vector<int32_t>{2});
    EXPECT_EQ(rx.current().fixType, 2);
    EXPECT_DOUBLE_EQ(rx.current().pdop, 1.58);
    EXPECT_DOUBLE_EQ(rx.current().hdop, 2.5);
    EXPECT_DOUBLE_EQ(rx.current().vdop, 1.31);
    EXPECT_EQ(rx.validity(), 5u);  // bits are only added
    // Mode 1: validity cleared, fix type kept.
    const std::string none = withChecksum("$GPGSA,A,1,,,,,,,,,,,,,,,") + "\r\n";
    EXPECT_TRUE(feed(rx, none).results.empty());
    EXPECT_EQ(rx.validity(), 0u);
    EXPECT_EQ(rx.current().fixType, 2);
}

TEST_F(ReceiverTest, SatelliteListIsCommittedByTheNextNonGsvHeader) {
    const std::string gsv = withChecksum(
                                "$GPGSV,3,1,10,01,10,100,40,02,20,200,,03,30,300,35,04,40,"
                                "040,30") +
                            "\r\n" +
                            withChecksum(
                                "$GPGSV,3,2,10,05,50,050,25,06,60,060,,07,70,070,20,08,"
                                "80,080,15") +
                            "\r\n" + withChecksum("$GPGSV,3,3,10,09,,,10,10,05,005,") + "\r\n";
    Feed f = feed(rx, gsv);
    EXPECT_TRUE(f.results.empty());
    const size_t before = gsv.size();
    f = feed(rx, kGga);
    ASSERT_EQ(f.results, (std::vector<int32_t>{4, 1}));
    EXPECT_EQ(f.at[0], 5u);  // the sixth character of "$GPGGA"
    (void)before;
    const GpsFix& c = rx.current();
    ASSERT_EQ(c.satelliteCount, 10);
    EXPECT_EQ(c.satellitesInView, 7);  // 02, 06 and 10 have no signal
    EXPECT_EQ(c.satellites[1].prn, 2);
    EXPECT_EQ(c.satellites[1].snr, kGpsNotReported);
    EXPECT_EQ(c.satellites[8].elevation, kGpsNotReported);
    EXPECT_DOUBLE_EQ(c.satellites[8].snr, 10.0);
    // A second commit with fewer satellites keeps the count right.
    feed(rx, withChecksum("$GPGSV,1,1,01,21,10,100,40") + "\r\n");
    EXPECT_EQ(feed(rx, kGga).results, (std::vector<int32_t>{4, 1}));
    EXPECT_EQ(rx.current().satelliteCount, 1);
    EXPECT_EQ(rx.current().satellites[0].prn, 21);
}

TEST_F(ReceiverTest, SatelliteListHoldsAtMost32) {
    std::string all;
    for (int m = 0; m < 10; ++m) {
        std::string body = "$GPGSV,10," + std::to_string(m + 1) + ",40";
        for (int k = 0; k < 4; ++k) body += "," + std::to_string(m * 4 + k + 1) + ",10,100,30";
        all += withChecksum(body) + "\r\n";
    }
    feed(rx, all);
    EXPECT_EQ(feed(rx, kGga).results, (std::vector<int32_t>{4, 1}));
    EXPECT_EQ(rx.current().satelliteCount, 32);
    EXPECT_EQ(rx.current().satellites[31].prn, 32);
}

TEST_F(ReceiverTest, DollarRestartsAndFloodsStayBounded) {
    EXPECT_EQ(feed(rx, "$GPGGA,1235" + kGga).results, std::vector<int32_t>{1});
    // A long run without line ends is dropped; the next sentence is read normally.
    GpsReceiver r2;
    std::string flood = "$GPGGA," + std::string(100000, '1');
    EXPECT_TRUE(feed(r2, flood + "\r\n").results.empty());
    EXPECT_EQ(feed(r2, kGga).results, std::vector<int32_t>{1});
    // An 82-character sentence is read as usual.
    std::string body =
        "$GPGGA,123519.0000000,4807.0380000,N,01131.0000000,E,1,08,0.9,545.4,M,46.9,M,,";
    std::string longest = withChecksum(body);
    ASSERT_LE(longest.size() + 2, 90u);
    EXPECT_EQ(feed(r2, longest + "\r\n").results, std::vector<int32_t>{1});
}

TEST_F(ReceiverTest, ResetReturnsToInitialState) {
    feed(rx, withChecksum("$GPGSA,A,3,14,09,,,,,,,,,,,1.58,0.87,1.31") + "\r\n");
    feed(rx, kGga);
    feed(rx, "$GPGGA,12");  // partial sentence dropped by Reset
    rx.Reset();
    EXPECT_EQ(rx.validity(), 0u);
    EXPECT_EQ(rx.current().latitude, kGpsNotReported);
    EXPECT_EQ(rx.current().fixType, 1);
    EXPECT_EQ(rx.current().pdop, kGpsNotReported);
    EXPECT_EQ(feed(rx, ",4807.038\r\n").results.size(), 0u);
}

}  // namespace
