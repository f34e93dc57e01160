// `zelkora-tool calls`, `info`, `export`, `render` and `map` on files written by `encode` and
// track files written record by record, run as a script would run them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gps/TrackRecord.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"
#include "support/TrackLog.h"

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

using testing_support::occurrences;
using testing_support::quoted;
using testing_support::readText;
using testing_support::Tool;
using testing_support::ToolRun;
using testing_support::writeTrack;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::vector<std::string> fields(const std::string& row) {
    std::vector<std::string> out;
    std::istringstream in(row);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    if (!row.empty() && row.back() == ',') out.emplace_back();
    return out;
}

// The intervals (µs, one per line) of `calls` calls 100 ms apart: each falls from 75 to
// 48 kHz in 1.5 ms on a log scale, then to 45 kHz in 4 ms, at division ratio 16.
std::string callIntervals(int calls) {
    auto khz = [](double us) {
        return us < 1500 ? 75 * std::exp2(us / 1500 * std::log2(48.0 / 75))
                         : 48 * std::exp2((us - 1500) / 4000 * std::log2(45.0 / 48));
    };
    std::ostringstream out;
    for (int c = 0; c < calls; ++c) {
        double used = 0;
        std::ostringstream call;
        for (double us = 0; us < 5500;) {
            const long interval = std::lround(16e3 / khz(us) / 2);
            call << interval << '\n';
            us += static_cast<double>(interval);
            used += static_cast<double>(interval);
        }
        out << (c == 0 ? 20000 : std::lround(100000 - used)) << '\n' << call.str();
    }
    return out.str();
}

// Encodes `calls` calls into DIR; returns the file's path.
std::string encodeCalls(Tool& tool, const TempDir& dir, int calls, const std::string& start,
                        const std::string& position) {
    const ToolRun r =
        tool.run("encode --ratio 16 --start " + quoted(start) + " --dir " + quoted(dir.path()) +
                     (position.empty() ? "" : " --position " + quoted(position)),
                 callIntervals(calls));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(0, r.out.size() - 1);
}

TEST(CallsCommand, TableInBrowsingOrderBadInputAndProgressLine) {
    TempDir dir;
    Tool tool;
    // The later file is written first and given a lower-case name, as some cards hold them:
    // the folder still lists it second, under its own name. It starts 50 ms before a new year.
    const std::string later = encodeCalls(tool, dir, 2, "2011-12-31 23:59:59.950000", "");
    const std::string lower = dir.file("l6122220.00#");
    std::filesystem::rename(later, lower);
    const std::string first = encodeCalls(tool, dir, 3, "2011-06-12 22:14:03.250000", "");

    const ToolRun r = tool.run("calls --filter 2 " + quoted(dir.path()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no progress line when standard error is not a terminal
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 6u) << r.out;
    EXPECT_EQ(rows[0],
              "file,call,start_time,offset_ms,duration_ms,dots,fmax_khz,fmin_khz,fmean_khz,"
              "fchar_khz,fknee_khz,slope_oct_per_s,tbc_ms");
    double previousOffset = 0;
    for (size_t k = 1; k < rows.size(); ++k) {
        const auto f = fields(rows[k]);
        ASSERT_EQ(f.size(), 13u) << rows[k];
        EXPECT_EQ(f[0], k <= 3 ? first : lower);
        const size_t call = k <= 3 ? k : k - 3;
        EXPECT_EQ(f[1], std::to_string(call));
        const double offset = std::stod(f[3]);
        if (call == 1) {
            EXPECT_EQ(f[12], "") << rows[k];
        } else {
            EXPECT_NEAR(std::stod(f[12]), offset - previousOffset, 0.0015) << rows[k];
            EXPECT_NEAR(std::stod(f[12]), 100.0, 0.1) << rows[k];
        }
        previousOffset = offset;
        EXPECT_NEAR(std::stod(f[4]), 5.5, 0.3) << rows[k];
        EXPECT_NEAR(std::stod(f[6]), 75, 2) << rows[k];
        EXPECT_NEAR(std::stod(f[7]), 45, 0.5) << rows[k];
        EXPECT_NEAR(std::stod(f[9]), 45, 0.5) << rows[k];
        EXPECT_NEAR(std::stod(f[10]), 48, 1) << rows[k];
        EXPECT_NEAR(std::stod(f[11]), std::log2(45.0 / 48) / 0.004, 3) << rows[k];
    }
    // The start time is the file's start plus the call's offset, to the microsecond.
    const auto f = fields(rows[1]);
    const auto offsetUs = std::llround(std::stod(f[3]) * 1000);
    char expected[64];
    std::snprintf(expected, sizeof expected, "2011-06-12T22:14:03.%06lld",
                  250000 + static_cast<long long>(offsetUs));
    EXPECT_EQ(f[2], expected);

    // A call after midnight is on the next day.
    const auto offsetMs = std::stod(fields(rows[5])[3]);
    std::snprintf(expected, sizeof expected, "2012-01-01T00:00:00.%06lld",
                  std::llround(offsetMs * 1000) - 50000);
    EXPECT_EQ(fields(rows[5])[2], expected);
    EXPECT_EQ(fields(rows[4])[2].substr(0, 20), "2011-12-31T23:59:59.");

    // Berlin's clocks go from 02:00 to 03:00 on 28 March 2027: the second call of a file
    // started 50 ms before is at 03:00 by the clock, in the table and in its JSON alike.
    TempDir spring;
    const std::string berlin = "TZ=Europe/Berlin";
    const ToolRun e = tool.run(
        "encode --ratio 16 --start \"2027-03-28 01:59:59.950000\" --dir " + quoted(spring.path()),
        callIntervals(2), berlin);
    ASSERT_EQ(e.status, 0) << e.err;
    for (const std::string json : {"", "--json "}) {
        const ToolRun across =
            tool.run("calls --filter 2 " + json + quoted(spring.path()), "", berlin);
        ASSERT_EQ(across.status, 0) << across.err;
        EXPECT_NE(across.out.find("2027-03-28T01:59:59.970"), std::string::npos) << across.out;
        EXPECT_NE(across.out.find("2027-03-28T03:00:00.0"), std::string::npos) << across.out;
        EXPECT_EQ(across.out.find("T02:"), std::string::npos) << across.out;
    }

    const ToolRun json = tool.run("calls --json --filter 2 " + quoted(first));
    ASSERT_EQ(json.status, 0);
    const auto objects = lines(json.out);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_NE(objects[0].find("\"call\":1,\"start_time\":\"" + f[2] + "\""), std::string::npos)
        << objects[0];
    EXPECT_NE(objects[1].find("\"tbc_ms\":" + fields(rows[2])[12] + "}"), std::string::npos);

    // A corrupt file and a missing one are named; the good file's calls are listed all the same.
    dir.write("broken.00#", {0x1A, 0x01, 0x00});
    const ToolRun bad = tool.run("calls --filter 2 " + quoted(dir.file("broken.00#")) + " " +
                                 quoted(first) + " " + quoted(dir.file("missing.00#")));
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(lines(bad.out).size(), 4u) << bad.out;  // the header and the good file's calls
    EXPECT_NE(bad.err.find("File Corrupt " + dir.file("broken.00#")), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("Cannot open file " + dir.file("missing.00#")), std::string::npos);
    for (const std::string args :
         {"calls", "calls --filter 6 x", "calls --filter two x", "calls --bogus x",
          "calls --fmin 50 --fmax 40 x", "calls --fmin 4.5 x", "map GPS.zlg --gpx g --fmax 0",
          "map GPS.zlg"}) {  // the last without an output
        EXPECT_EQ(tool.run(args).status, 64) << args;
    }

    // On a terminal a progress line is shown, and wiped when the work is done: blanked to its
    // width, the cursor back at its start. script(1) runs the command on a pseudo-terminal and
    // copies what it shows.
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "script(1) is not installed";
    }
    const std::string shown = dir.file("shown"), progress = "calls: 2/2 files";
    const std::string inner =
        kTool + " calls " + quoted(first) + " " + quoted(lower) + " >/dev/null";
    ASSERT_EQ(
        std::system(("script -qec " + quoted(inner) + " /dev/null >" + quoted(shown)).c_str()), 0);
    EXPECT_NE(readText(shown).find(progress), std::string::npos) << readText(shown);
    EXPECT_NE(readText(shown).find("\r" + std::string(progress.size(), ' ') + "\r"),
              std::string::npos);
}

// info, export and render take a folder as calls does; a file name that needs quoting in CSV
// gets it, and what would overwrite a picture or mix inputs is refused before any work.
TEST(FolderCommands, InfoExportAndRenderTakeFolders) {
    TempDir dir, nightDir;
    Tool tool;
    const std::string night = nightDir.path();
    std::filesystem::rename(encodeCalls(tool, nightDir, 1, "2026-06-12 22:14:03", ""),
                            night + "/P6122214,x.03#");
    std::filesystem::rename(encodeCalls(tool, nightDir, 2, "2026-06-12 22:15:03", ""),
                            night + "/P6122215.03#");

    const ToolRun info = tool.run("info -j 2 " + quoted(night));
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.find("file: " + night + "/P6122214,x.03#\n"), 0u) << info.out;
    EXPECT_NE(info.out.find("\n\nfile: " + night + "/P6122215.03#\n"), std::string::npos);

    const ToolRun exported = tool.run("export " + quoted(night) + " " + quoted(dir.file("none")));
    EXPECT_EQ(exported.status, 2);
    EXPECT_EQ(exported.err, "Cannot open file " + dir.file("none") + "\n");
    const auto rows = lines(exported.out);
    ASSERT_GT(rows.size(), 3u);
    EXPECT_EQ(rows[0], "file,index,time_us,frequency_mhz,status");
    EXPECT_EQ(rows[1].rfind("\"" + night + "/P6122214,x.03#\",0,0,", 0), 0u) << rows[1];
    EXPECT_EQ(rows.back().rfind(night + "/P6122215.03#,", 0), 0u) << rows.back();

    const ToolRun drawn = tool.run("render " + quoted(night) + " --png-dir " +
                                   quoted(dir.file("pictures")) + " --size 320x200");
    EXPECT_EQ(drawn.status, 0) << drawn.err;
    for (const char* name : {"P6122214,x.03#.png", "P6122215.03#.png"}) {
        EXPECT_EQ(readText(dir.file(std::string("pictures/") + name)).substr(1, 3), "PNG") << name;
    }
    // One picture for a folder, two inputs of one name, and a bad -j are usage errors.
    std::filesystem::copy(night + "/P6122215.03#", dir.file("P6122215.03#"));
    for (const std::string& args :
         {"render " + quoted(night) + " --png " + quoted(dir.file("x.png")),
          "render " + quoted(night) + " " + quoted(dir.file("P6122215.03#")) + " --png-dir " +
              quoted(dir.file("p2")),
          "calls -j 0 " + quoted(night), "info -jx " + quoted(night)}) {
        EXPECT_EQ(tool.run(args).status, 64) << args;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("p2")));
    // A folder for the pictures that cannot be made is said once, with why.
    const std::string under = dir.file("P6122215.03#") + "/pictures";
    const ToolRun unmade = tool.run("render " + quoted(night) + " --png-dir " + quoted(under));
    EXPECT_EQ(unmade.status, 1);
    EXPECT_EQ(unmade.err,
              "zelkora-tool render: cannot make the folder " + under + ": Not a directory\n");
}

std::vector<std::string> allMatches(const std::string& text, const std::string& pattern) {
    std::vector<std::string> out;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it) {
        out.push_back((*it)[1].str());
    }
    return out;
}

bool haveXmllint() {
    return std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

// xmllint's status on `gpx` against the part of the GPX 1.1 schema that map writes.
int gpxSchemaCheck(const std::string& gpx) {
    const std::string schema = std::string(ZELKORA_SOURCE_DIR) + "/tests/tools/gpx-1.1-subset.xsd";
    return std::system(
        ("xmllint --noout --schema " + quoted(schema) + " " + quoted(gpx) + " 2>/dev/null")
            .c_str());
}

TEST(MapCommand, GpxKmlAndPictureOfANightAndBadInput) {
    TempDir dir;
    Tool tool;
    // Out of order on disk; a gap of exactly a minute stays, one of 61 s splits, and a lone
    // fix after a longer one is a segment of its own.
    writeTrack(dir.file("GPS.zlg"), {10, 0, 5, 70, 131, 136, 300});
    TempDir seq;
    encodeCalls(tool, seq, 3, "2026-06-12 22:14:03.250000", "48.1234,-11.5678,520.4");
    encodeCalls(tool, seq, 1, "2026-06-12 22:16:00", "");  // no position: no waypoint
    encodeCalls(tool, seq, 1, "2026-01-12 22:14:03", "-33.8688,151.2093,58");  // winter

    const std::string gpx = dir.file("night.gpx"), kml = dir.file("night.kml");
    const ToolRun r = tool.run("map " + quoted(dir.file("GPS.zlg")) + " " + quoted(seq.path()) +
                                   " --filter 2 --gpx " + quoted(gpx) + " --kml " + quoted(kml) +
                                   " --png " + quoted(dir.file("night.png")),
                               "", "TZ=Europe/Berlin XDG_RUNTIME_DIR=" + quoted(dir.path()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string text = readText(gpx);
    EXPECT_EQ(occurrences(text, "<trkseg>"), 3u) << text;
    EXPECT_EQ(allMatches(text, "<trkpt lat=\"([0-9.-]+)\""),
              (std::vector<std::string>{"48.123400", "48.123450", "48.123500", "48.124100",
                                        "48.124710", "48.124760", "48.126400"}));
    // The waypoints' local times: one hour ahead of UTC in winter, two in summer.
    const auto times = allMatches(text, "<time>([^<]+)</time>");
    ASSERT_GE(times.size(), 2u);
    EXPECT_EQ(times[0], "2026-01-12T21:14:03Z");
    EXPECT_EQ(times[1], "2026-06-12T20:14:03.250000Z");
    EXPECT_NE(text.find("<wpt lat=\"48.123400\" lon=\"-11.567800\">"), std::string::npos) << text;
    EXPECT_EQ(occurrences(text, "<wpt "), 2u);
    EXPECT_EQ(allMatches(text, "<desc>([^<]+)</desc>"),
              (std::vector<std::string>{"1 call, median fchar 45.2 kHz",
                                        "3 calls, median fchar 45.2 kHz"}));
    EXPECT_NE(text.find("<time>2026-06-12T20:12:16Z</time>"), std::string::npos);
    // The picture: a PNG of 1000 x 700 pixels.
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("night.png")), "PNG").size(),
              QSize(1000, 700));

    EXPECT_EQ(tool.run("map " + quoted(dir.file("none.zlg")) + " --gpx " + quoted(gpx)).status, 2);
    dir.write("bad.zlg", std::vector<uint8_t>(32, 'x'));
    EXPECT_EQ(tool.run("map " + quoted(dir.file("bad.zlg")) + " --gpx " + quoted(gpx)).status, 2);
    EXPECT_EQ(tool.run("map " + quoted(dir.file("GPS.zlg")) + " --gpx " +
                       quoted(dir.file("no/such/folder/out.gpx")))
                  .status,
              1);

    // Recordings without a track (imported ones): their waypoints alone. The easternmost
    // lies at the picture's margin, its label drawn to its left rather than cut off.
    const std::string alone = dir.file("alone.gpx"), alonePng = dir.file("alone.png");
    ASSERT_EQ(tool.run("map " + quoted(seq.path() + "/") + " --gpx " + quoted(alone) + " --png " +
                           quoted(alonePng),
                       "", "XDG_RUNTIME_DIR=" + quoted(dir.path()))
                  .status,
              0);
    const std::string aloneText = readText(alone);
    EXPECT_EQ(occurrences(aloneText, "<wpt "), 2u);
    EXPECT_EQ(occurrences(aloneText, "<trk"), 0u);
    EXPECT_NE(aloneText.find("<name>" + std::filesystem::path(seq.path()).filename().string() +
                             "</name>"),
              std::string::npos);
    const QImage picture(QString::fromStdString(alonePng));
    int inkAtEdge = 0;
    for (int y = 40; y < 650; ++y) {
        for (int x = 975; x < picture.width(); ++x)
            inkAtEdge += picture.pixelColor(x, y).red() < 150;
    }
    EXPECT_EQ(inkAtEdge, 0);
    TempDir unplaced;
    encodeCalls(tool, unplaced, 1, "2026-06-12 22:16:00", "");
    const std::string empty = dir.file("empty.gpx");
    const ToolRun none = tool.run("map " + quoted(unplaced.path()) + " --gpx " + quoted(empty));
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(none.err.find("carries a position"), std::string::npos);
    EXPECT_EQ(occurrences(readText(empty), "<wpt "), 0u);

    if (!haveXmllint()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    EXPECT_EQ(gpxSchemaCheck(gpx), 0);
    EXPECT_EQ(gpxSchemaCheck(alone), 0);
    const std::string kmlText = readText(kml);
    EXPECT_EQ(std::system(("xmllint --noout " + quoted(kml)).c_str()), 0);
    EXPECT_EQ(occurrences(kmlText, "<LineString>"), 2u);
    EXPECT_NE(kmlText.find("<coordinates>-11.567800,48.123400,520.000</coordinates>"),
              std::string::npos);
    EXPECT_NE(kmlText.find("<when>2026-06-12T20:14:03.250000Z</when>"), std::string::npos);
}

// A walk across the meridian 180 (Fiji, Kiribati): the formats get longitudes they can hold,
// and the picture draws the walk across the meridian, not around the globe.
TEST(MapCommand, WalkAcrossTheMeridianOf180) {
    TempDir dir;
    {
        // Eastwards from 179.99 E over 180 to 179.9905 W, moving north; every tenth second.
        std::ofstream out(dir.file("GPS.zlg"), std::ios::binary);
        for (int i = 0; i < 40; ++i) {
            const int lon = 179990000 + 500 * i;  // 180 itself stays
            testing_support::appendTrackRecord(
                out, testing_support::trackRecordAt(10 * i, -16500000 + 200 * i,
                                                    lon > 180000000 ? lon - 360000000 : lon));
        }
    }
    Tool tool;
    const auto r =
        tool.run("map " + quoted(dir.file("GPS.zlg")) + " --gpx " + quoted(dir.file("w.gpx")) +
                 " --kml " + quoted(dir.file("w.kml")) + " --png " + quoted(dir.file("w.png")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string gpx = readText(dir.file("w.gpx"));
    EXPECT_EQ(occurrences(gpx, "<trkpt "), 40u);
    EXPECT_EQ(occurrences(gpx, "lon=\"180."), 0u) << "180 is outside what GPX takes";
    EXPECT_EQ(occurrences(gpx, "lon=\"-180.000000\""), 1u);
    EXPECT_EQ(occurrences(readText(dir.file("w.kml")), "-180.000000,"), 1u);
    if (haveXmllint()) {
        EXPECT_EQ(gpxSchemaCheck(dir.file("w.gpx")), 0);
    }

    // The walk is 2 km east and 900 m north: drawn across the meridian it fills the picture
    // both ways; drawn around the globe it would be a flat line 360 degrees long.
    QImage png(QString::fromStdString(dir.file("w.png")));
    ASSERT_FALSE(png.isNull());
    int top = png.height(), bottom = -1, left = png.width(), right = -1;
    for (int y = 40; y < png.height() - 40; ++y) {
        for (int x = 0; x < png.width(); ++x) {
            const QColor c = png.pixelColor(x, y);
            if (c.blue() > 120 && c.red() < 80) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GT(bottom - top, 200) << "the track is flat: drawn the long way round";
    EXPECT_GT(right - left, 500);
}

}  // namespace
