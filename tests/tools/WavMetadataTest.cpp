// Reading a recording's time and place from its RIFF chunks.
#include "tools/zelkora-tool/WavMetadata.h"

#include <gtest/gtest.h>

#include <sstream>

#include "RiffImage.h"

using namespace tool;
using testing_support::chunk;
using testing_support::put32;
using testing_support::riff;

namespace {

WavMetadata read(const std::string& image) {
    std::istringstream in(image);
    return readWavMetadata(in);
}

TEST(WavMetadata, FindsGuanAfterTheAudioAndTheInfoComment) {
    const std::string guan = "GUANO|Version:1.0\nTimestamp:2024-06-01T21:13:05Z\nTE:10\n";
    const std::string info = "INFO" + chunk("INAM", "night") + chunk("ICMT", "Recorded at x");
    const WavMetadata m =
        read(riff(chunk("fmt ", std::string(16, '\0')) + chunk("data", std::string(1001, '\x7f')) +
                  chunk("LIST", info) + chunk("guan", guan)));
    EXPECT_EQ(m.guan, guan);
    EXPECT_EQ(m.comment, "Recorded at x");
    EXPECT_EQ(guanValue(m.guan, "Timestamp"), "2024-06-01T21:13:05Z");
    EXPECT_EQ(guanValue(m.guan, "TE"), "10");
    EXPECT_EQ(guanValue(m.guan, "Loc Position"), "");
}

TEST(WavMetadata, CutShortOrForeignFilesGiveNothingWrong) {
    const std::string whole = riff(chunk("guan", "Timestamp:2024-06-01 21:13:05"));
    EXPECT_EQ(read(whole.substr(0, whole.size() - 3)).guan, "");
    EXPECT_EQ(read("RIFX0000WAVE").guan, "");
    EXPECT_EQ(read("").comment, "");
    // A chunk claiming more than the file holds ends the walk; what came before stays.
    std::string lying = riff(chunk("guan", "TE:4") + "LIST");
    put32(lying, 0x7FFFFFF0);
    EXPECT_EQ(read(lying).guan, "TE:4");
}

TEST(WavMetadata, IsoTimesWithAndWithoutZones) {
    auto t = parseIsoTime("2024-06-01 21:13:05-05:00");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->wall, JulianTime::fromDateTime(2024, 6, 1, 21, 13, 5, 0));
    EXPECT_EQ(t->offsetMinutes, -300);
    t = parseIsoTime("2024-06-01T21:13:05.25Z");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->wall, JulianTime::fromDateTime(2024, 6, 1, 21, 13, 5, 250000));
    EXPECT_EQ(t->offsetMinutes, 0);
    EXPECT_EQ(parseIsoTime("2024-06-01 21:13:05+0530")->offsetMinutes, 330);
    EXPECT_FALSE(parseIsoTime("2024-06-01 21:13:05")->offsetMinutes);
    for (const char* bad :
         {"2024-02-30 21:13:05", "2024-06-01 24:00:00", "2024-06-01", "01/06/2024 21:13:05",
          "2024-06-01 21:13:05 EST", "2024-06-01 21:13:05+25:00", "2024-06-01 21:13:05."}) {
        EXPECT_FALSE(parseIsoTime(bad)) << bad;
    }
}

TEST(WavMetadata, RecorderCommentOnlyInItsOwnPattern) {
    auto t = parseRecorderComment("Recorded at 21:13:05 01/06/2024 (UTC) by unit 7");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->wall, JulianTime::fromDateTime(2024, 6, 1, 21, 13, 5, 0));
    EXPECT_EQ(t->offsetMinutes, 0);
    EXPECT_EQ(parseRecorderComment("Recorded at 21:13:05 01/06/2024 (UTC+1)")->offsetMinutes, 60);
    EXPECT_EQ(parseRecorderComment("Recorded at 21:13:05 01/06/2024 (UTC-05:30)")->offsetMinutes,
              -330);
    for (const char* bad :
         {"Recorded at 21:13:05 06/31/2024 (UTC)", "Recorded at 21:13:05 01/06/2024",
          "Recorded at 21:13:05 2024-06-01 (UTC)", "01/06/2024 21:13:05",
          "Recorded at 21:13:05 01/06/2024 (local)", "Recorded at 21:13:05 01/06/2024 (UTC+1"}) {
        EXPECT_FALSE(parseRecorderComment(bad)) << bad;
    }
}

TEST(WavMetadata, Positions) {
    // The plain "52.5 -1.25" is read end to end by the import of a sweep (ImportCommandTest).
    double lat = 0, lon = 0;
    EXPECT_TRUE(parseLatLon(" -33.9, +151.2 ", lat, lon));
    EXPECT_EQ(std::pair(lat, lon), std::pair(-33.9, 151.2));
    for (const char* bad : {"52.5", "91 0", "0 181", "north south", "52.5 -1.25x", ""}) {
        EXPECT_FALSE(parseLatLon(bad, lat, lon)) << bad;
    }
}

TEST(WavMetadata, TimeInAFileName) {
    const JulianTime t = JulianTime::fromDateTime(2024, 5, 31, 22, 39, 11, 0);
    for (const char* name :
         {"20240531_223911.wav", "SITE4_20240531-223911_000.WAV", "x-1_20240531_223911"}) {
        EXPECT_EQ(parseFileNameTime(name), t) << name;
    }
    // A digit run longer than the pattern, an impossible date, other orders: no time.
    for (const char* bad :
         {"120240531_223911.wav", "20240531_2239115.wav", "20240231_223911.wav",
          "20240531_243911.wav", "2024-05-31_22-39-11.wav", "20240531 223911", "recording.wav"}) {
        EXPECT_FALSE(parseFileNameTime(bad)) << bad;
    }
}

}  // namespace
