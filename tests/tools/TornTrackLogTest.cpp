// A track log torn by a power cut while its last record was written: the logger, started
// again, keeps the original aside and cuts the torn part off before it logs on, and `track`
// and `map` read every whole record of a log that a logger went on appending to after a tear.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gps/GpsLink.h"
#include "gps/GpsTestSupport.h"
#include "gps/TrackRecord.h"
#include "platform/MessageSink.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"
#include "support/TrackLog.h"

using testing_support::quoted;
using testing_support::readText;
using testing_support::Tool;
using testing_support::ToolRun;

namespace fs = std::filesystem;

namespace {

const fs::path kCapture = fs::path(ZELKORA_SHARED_DATA) / "nmea" / "bu353s4.log";

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class TornTrackLog : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(kCapture)) GTEST_SKIP() << "captures not present: " << kCapture;
        const std::string nmea = readText(kCapture.string());
        const size_t half = nmea.find("\n$GPGGA", nmea.size() / 2) + 1;
        secondHalf = nmea.substr(half);
        appSettings().GPath = dir.folder();
        previous = platform::setMessageHandler(
            [this](const std::string& text, platform::MessageIcon) { messages.push_back(text); });
        // A whole log of a few records, from the capture's first half.
        logOn(nmea.substr(0, half));
        whole = readText(log());
        records = whole.size() / TrackRecord::kSize;
        ASSERT_GE(records, 3u);
        ASSERT_EQ(whole.size() % TrackRecord::kSize, 0u);
    }
    void TearDown() override { platform::setMessageHandler(previous); }

    // A logger started on the folder, as Connect starts one, fed `nmea`; its clock reads
    // an explicit day, never today.
    void logOn(const std::string& nmea) {
        GpsLink link;
        link.receiver().setUtcClock(
            [] { return JulianTime::fromDateTime(2014, 12, 31, 3, 7, 19, 0); });
        link.LoadSettings();
        link.OpenTrackFile();
        ASSERT_TRUE(link.logOk());
        for (const char c : nmea) link.FeedByte(static_cast<uint8_t>(c));
    }

    std::string log() const { return dir.file("GPS.zlg"); }
    std::string keptAside() const { return readText(dir.file("GPS.zlg.torn")); }
    ToolRun track() { return tool.run("track " + quoted(log())); }

    // `track` reads the log whole and quietly: `n` lines on the logger's day, and a header.
    void expectTrackReads(size_t n) {
        const ToolRun r = track();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(testing_support::occurrences(r.out, "\n"), 1 + n);
        EXPECT_EQ(testing_support::occurrences(r.out, "\n2014-12-31,"), n);
    }

    gps_test::SettingsGuard guard;
    TempDir dir;
    platform::MessageHandler previous;
    std::vector<std::string> messages;
    std::string secondHalf, whole;
    size_t records = 0;
    Tool tool;
};

TEST_F(TornTrackLog, EveryCutOfTheLastRecordLosesOnlyThatRecord) {
    const size_t kept = (records - 1) * TrackRecord::kSize;

    for (size_t cut = 1; cut < TrackRecord::kSize; ++cut) {
        SCOPED_TRACE("torn after byte " + std::to_string(cut) + " of the last record");
        const std::string torn = whole.substr(0, kept + cut);
        writeFile(log(), torn);
        fs::remove(dir.file("GPS.zlg.torn"));
        messages.clear();

        // Read before the logger repairs it: every whole record, nothing complained about.
        expectTrackReads(records - 1);

        logOn(secondHalf);
        EXPECT_EQ(keptAside(), torn);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(GpsLink::kTornMessage), std::string::npos);
        const std::string repaired = readText(log());
        EXPECT_EQ(repaired.size() % TrackRecord::kSize, 0u);
        EXPECT_EQ(repaired.substr(0, kept), whole.substr(0, kept));
        ASSERT_GT(repaired.size(), kept);

        // Everything logged after the repair reads back, in step.
        expectTrackReads(repaired.size() / TrackRecord::kSize);
    }

    // Logging on again finds nothing torn, and the copy made once stays as it was.
    const std::string aside = keptAside();
    messages.clear();
    logOn("");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(keptAside(), aside);
}

TEST_F(TornTrackLog, ReadersTakeEveryWholeRecordBeforeATearAndSkipImpossibleTimes) {
    std::string bytes = whole;
    // The second record on the 30th of February, the third at 24:00:00.000.
    bytes.replace(TrackRecord::kSize + 2, 4, "0230");
    TrackRecord late = testing_support::trackRecordAt(0, 48123400, -11567800);
    late.timeMs = 24 * 3600 * 1000;
    std::ostringstream encoded;
    testing_support::appendTrackRecord(encoded, late);
    bytes.replace(2 * TrackRecord::kSize, TrackRecord::kSize, encoded.str());
    // Torn 7 bytes into a record, and a logger that went on appending after the tear.
    const std::string appended = bytes.substr(0, TrackRecord::kSize);
    writeFile(log(), bytes + appended.substr(0, 7) + appended + appended);

    ToolRun r = track();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testing_support::occurrences(r.out, "\n"), 1 + records - 2);
    EXPECT_NE(r.err.find("2 records with an impossible date or time skipped"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("no record at byte " + std::to_string(bytes.size())), std::string::npos)
        << r.err;

    const std::string gpx = dir.file("out.gpx");
    const std::string map = "map " + quoted(log()) + " --gpx " + quoted(gpx);
    r = tool.run(map);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testing_support::occurrences(readText(gpx), "<trkpt "), records - 2);
    EXPECT_NE(r.err.find("zelkora-tool map: "), std::string::npos) << r.err;

    // Nothing usable at all is still a corrupt file.
    writeFile(log(), std::string(40, 'x'));
    r = tool.run(map);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("File Corrupt"), std::string::npos) << r.err;
}

}  // namespace
