// `zelkora-tool encode`, `info` and `export` run as a script would run them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "sequence/SequenceTestData.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {

using Bytes = std::vector<uint8_t>;

using testing_support::quoted;
using testing_support::readText;
using testing_support::Tool;
using testing_support::ToolRun;

const char* kSpecIntervals = "100\n120\n60\n5000\n9000\n3000000\n";

TEST(EncodeCommand, WritesTheIntervalCodesAndHeader) {
    TempDir dir;
    Tool tool;
    ToolRun r = tool.run("encode --ratio 16 --start '2011-07-01 18:45:14.123456' --dir " +
                             quoted(dir.path()) + " --position '-33.8688,151.2093,57.6'",
                         kSpecIntervals);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir.folder() + "L7011845.14#\n");
    std::string file = readText(dir.file("L7011845.14#"));
    ASSERT_EQ(file.size(), 336u + 13);
    EXPECT_EQ(
        Bytes(file.begin() + 336, file.end()),
        (Bytes{0x80, 0x64, 0x14, 0x44, 0x93, 0x88, 0xA0, 0x23, 0x28, 0xC0, 0x2D, 0xC6, 0xC0}));
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{0x1A, 0x01, 0x00, 0x84, 0x00, 0x00}));
    EXPECT_EQ(Bytes(file.begin() + 282, file.begin() + 288),
              (Bytes{0x50, 0x01, 0xA8, 0x61, 0x10, 0x52}));
    EXPECT_EQ(file.substr(304, 32), "WGS84     S3386880 E15120930  58");

    ToolRun info = tool.run("info " + quoted(dir.file("L7011845.14#")));
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.out, "file: " + dir.file("L7011845.14#") +
                            "\ntype: 0x84\nratio: 16\ndots: 7\nduration_us: 3014280\n"
                            "start: 2011-07-01 18:45:14.123456\n"
                            "position: WGS84     S3386880 E15120930  58\n");

    ToolRun csv = tool.run("export " + quoted(dir.file("L7011845.14#")));
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out,
              "index,time_us,frequency_mhz,status\n"
              "0,0,0,254\n1,100,0,254\n2,220,72727273,0\n3,280,88888889,0\n"
              "4,5280,3162055,0\n5,14280,0,0\n6,3014280,0,0\n");
}

TEST(EncodeCommand, SameSecondTakesTheNextFreeNameWithoutPosition) {
    TempDir dir;
    Tool tool;
    const std::string args =
        "encode --ratio 8 --start '2026-12-08 13:45:00' --dir " + quoted(dir.path());
    ToolRun first = tool.run(args, "300\n");
    ToolRun second = tool.run(args, "400\n\n  500 \r\n");
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(first.out, dir.folder() + "[C081345.00#\n");
    EXPECT_EQ(second.out, dir.folder() + "[C081345.01#\n");
    ToolRun info = tool.run("info " + quoted(dir.file("[C081345.00#")) + " " +
                            quoted(dir.file("[C081345.01#")));
    EXPECT_NE(info.out.find("dots: 2\nduration_us: 300\nstart: 2026-12-08 13:45:00.000000\n"
                            "position: none\n\nfile: "),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("dots: 3\nduration_us: 900\nstart: 2026-12-08 13:45:00.000000\n"),
              std::string::npos);
}

TEST(EncodeCommand, DefaultFolderComesFromTheSettings) {
    TempDir config;
    TempDir root;
    const std::string folder = root.file("Batfiles/");
    std::filesystem::create_directories(config.file("Chirova"));
    {
        std::ofstream ini(config.file("Chirova/zelkora.ini"));
        ini << "[Zelkora]\nGPath=" << folder << "\n";
    }
    Tool tool;
    ToolRun r = tool.run("encode --ratio 16 --start '2000-01-02 03:04:05'", "250\n",
                         "XDG_CONFIG_HOME=" + quoted(config.path()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, folder + "A1020304.05#\n");
    EXPECT_TRUE(std::filesystem::exists(folder + "A1020304.05#"));
}

TEST(EncodeCommand, BadInputIsRefusedAndWritesNothing) {
    TempDir dir;
    Tool tool;
    const std::string args =
        "encode --ratio 16 --start '2011-07-01 18:45:14' --dir " + quoted(dir.path());
    std::string tooMany;
    for (int i = 0; i < 16384; ++i) tooMany += "1\n";
    for (const std::string& input :
         {std::string("100\nabc\n"), std::string("-5\n"), std::string("536870912\n"),
          std::string("12.5\n"), std::string("8000000\n7000000\n"), tooMany, std::string(),
          std::string("\n \r\n")}) {
        ToolRun r = tool.run(args, input);
        EXPECT_EQ(r.status, 64) << input.substr(0, 20);
        EXPECT_NE(r.err.find("zelkora-tool encode:"), std::string::npos) << r.err;
    }
    EXPECT_NE(tool.run(args, "100\nabc\n").err.find("line 2"), std::string::npos);
    EXPECT_NE(tool.run(args, "").err.find("no intervals"), std::string::npos);
    for (const std::string& bad :
         {std::string("encode --start '2011-07-01 18:45:14'"),
          std::string("encode --ratio 0 --start '2011-07-01 18:45:14'"),
          std::string("encode --ratio 65 --start '2011-07-01 18:45:14'"),
          std::string("encode --ratio 16"),
          std::string("encode --ratio 16 --start '2011-02-30 18:45:14'"),
          std::string("encode --ratio 16 --start '2011-07-01 24:00:00'"),
          std::string("encode --ratio 16 --start '2011-07-01 18:45:14.1234567'"),
          std::string("encode --ratio 16 --start '2011-07-01T18:45:14'"),
          std::string("encode --ratio 16 --start '2011-07-01 18:45:14' --position '1,2'"),
          std::string("encode --ratio 16 --start '2011-07-01 18:45:14' --position '91,2,3'"),
          std::string("encode --ratio 16 --start '2011-07-01 18:45:14' --position '1,2,nan'"),
          std::string("encode --ratio 16 --start '2011-07-01 18:45:14' --position '1,2,10000'"),
          std::string("encode --ratio 16 --start '2011-07-01 18:45:14' extra")}) {
        EXPECT_EQ(tool.run(bad + " --dir " + quoted(dir.path()), "100\n").status, 64) << bad;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(tool.run("encode --help").status, 0);
}

TEST(EncodeCommand, MissingFolderIsMadeAndOneThatCannotBeMadeFails) {
    Tool tool;
    TempDir dir;
    ToolRun made = tool.run(
        "encode --ratio 16 --start '2011-07-01 18:45:14' --dir " + quoted(dir.file("new/sub")),
        "100\n");
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("new/sub/L7011845.14#")));

    dir.write("blocker", {1});  // a plain file where a folder would have to be
    ToolRun r = tool.run(
        "encode --ratio 16 --start '2011-07-01 18:45:14' --dir " + quoted(dir.file("blocker/sub")),
        "100\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Couldn't open output file"), std::string::npos);
    EXPECT_TRUE(r.out.empty());
}

TEST(InfoCommand, OlderTypesHaveNoStartOrPosition) {
    TempDir dir;
    dir.write("OLD81.AB#", seqtest::oldTypeImage(0x81, {0x91, 0x2C, 0x05, 0xFA, 0x80, 0x64}));
    dir.write("OLD82.AB#", seqtest::oldTypeImage(0x82, {0x80, 0x64, 0xE3, 0x0A}, 32));
    dir.write("OLD83.AB#", seqtest::oldTypeImage(0x83, {0x80, 0x64, 0xE6, 0x02, 0x0A}, 20, 50000));
    Tool tool;
    ToolRun r = tool.run("info " + quoted(dir.file("OLD81.AB#")) + " " +
                         quoted(dir.file("OLD82.AB#")) + " " + quoted(dir.file("OLD83.AB#")));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "file: " + dir.file("OLD81.AB#") +
                         "\ntype: 0x81\nratio: 10\ndots: 4\nduration_us: 2505\nstart: none\n"
                         "position: none\n\nfile: " +
                         dir.file("OLD82.AB#") +
                         "\ntype: 0x82\nratio: 32\ndots: 3\nduration_us: 210\nstart: none\n"
                         "position: none\n\nfile: " +
                         dir.file("OLD83.AB#") +
                         "\ntype: 0x83\nratio: 20\ndots: 3\nduration_us: 105\nstart: none\n"
                         "position: none\n");

    ToolRun json = tool.run("info --json " + quoted(dir.file("OLD83.AB#")));
    EXPECT_EQ(json.out, "{\"file\":\"" + dir.file("OLD83.AB#") +
                            "\",\"type\":\"0x83\",\"ratio\":20,\"dots\":3,\"duration_us\":105,"
                            "\"start\":null,\"position\":null}\n");

    ToolRun csv = tool.run("export " + quoted(dir.file("OLD81.AB#")));
    EXPECT_EQ(csv.out,
              "index,time_us,frequency_mhz,status\n0,0,0,254\n1,1200,0,254\n2,2405,4158004,0\n"
              "3,2505,7662835,1\n");
    csv = tool.run("export " + quoted(dir.file("OLD83.AB#")));
    EXPECT_EQ(csv.out,
              "index,time_us,frequency_mhz,status\n0,0,0,254\n1,50,0,254\n2,105,190476190,2\n");
}

TEST(LsCommand, ListsWrittenAndOlderFilesInStartOrder) {
    TempDir dir;
    Tool tool;
    for (const char* start :
         {"2011-07-01 18:45:14", "2009-12-31 23:59:59", "2011-07-01 18:45:02"}) {
        ToolRun r = tool.run(
            "encode --ratio 16 --start '" + std::string(start) + "' --dir " + quoted(dir.path()),
            "100\n200\n");
        ASSERT_EQ(r.status, 0) << r.err;
    }
    dir.write("old81.ab#", seqtest::oldTypeImage(0x81, {0x80, 0x64}));
    dir.write("notes.txt", {1, 2, 3});
    ToolRun r = tool.run("ls " + quoted(dir.path()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "JC312359.59#\nL7011845.02#\nL7011845.14#\nold81.ab#\n");

    EXPECT_EQ(r.err, "");

    // A station's folder of nights lists nothing, and says where the files are.
    const std::string station = dir.file("station");
    std::filesystem::create_directories(station + "/2026-10-24");
    std::filesystem::create_directories(station + "/2026-10-25");
    ToolRun nights = tool.run("ls " + quoted(station));
    EXPECT_EQ(nights.status, 0);
    EXPECT_EQ(nights.out, "");
    EXPECT_EQ(nights.err, "No sequence file in " + station +
                              " (its folders are not read into: give one, as " + station +
                              "/2026-10-25)\n");

    ToolRun missing = tool.run("ls " + quoted(dir.file("gone")));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(tool.run("ls a b").status, 64);
    EXPECT_EQ(tool.run("ls --help").status, 0);
}

TEST(LsCommand, PrintsNamesThatInfoOpens) {
    // Lower-case names from a card written elsewhere sort by their start time and keep
    // their spelling, so a script can hand each listed name to the other commands.
    TempDir dir;
    Tool tool;
    ASSERT_EQ(
        tool.run("encode --ratio 16 --start '2011-07-01 18:45:02' --dir " + quoted(dir.path()),
                 "100\n200\n")
            .status,
        0);
    dir.write("l7011845.14#", seqtest::encode(*seqtest::storeFromIntervals({100, 120, 60})));
    dir.write("k9301200.00#", seqtest::encode(*seqtest::storeFromIntervals({300})));
    ToolRun r = tool.run("ls " + quoted(dir.path()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "k9301200.00#\nL7011845.02#\nl7011845.14#\n");
    std::istringstream names(r.out);
    for (std::string name; std::getline(names, name);) {
        ToolRun info = tool.run("info " + quoted(dir.file(name)));
        EXPECT_EQ(info.status, 0) << name << ": " << info.err;
        EXPECT_NE(info.out.find("file: " + dir.file(name)), std::string::npos) << info.out;
    }
}

TEST(InfoCommand, JsonEscapesNames) {
    TempDir dir;
    const std::string name = std::string("we\"ird\\na\tme\xff.AB#");
    dir.write(name, seqtest::oldTypeImage(0x82, {}));
    Tool tool;
    ToolRun r = tool.run("info --json " + quoted(dir.file(name)));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("we\\\"ird\\\\na\\u0009me\\ufffd.AB#\""), std::string::npos) << r.out;
}

TEST(InfoCommand, UnreadableAndCorruptFiles) {
    TempDir dir;
    Bytes good = seqtest::oldTypeImage(0x82, {0x80, 0x64});
    dir.write("GOOD.AB#", good);
    dir.write("SHORT.AB#", Bytes(good.begin(), good.begin() + 199));
    Bytes badRatio = good;
    badRatio[286] = 65;
    dir.write("RATIO.AB#", badRatio);
    Tool tool;
    ToolRun r = tool.run("info " + quoted(dir.file("GOOD.AB#")) + " " +
                         quoted(dir.file("SHORT.AB#")) + " " + quoted(dir.file("NONE.AB#")) + " " +
                         quoted(dir.file("RATIO.AB#")) + " " + quoted(dir.path()));
    EXPECT_EQ(r.status, 2);
    // Only the good file is described, given by name and again as one of the folder's.
    EXPECT_EQ(r.out.find("file: " + dir.file("GOOD.AB#") + "\n"), 0u);
    EXPECT_NE(r.out.rfind("\n\nfile: " + dir.path() + "/GOOD.AB#\n"), std::string::npos);
    EXPECT_EQ(testing_support::occurrences(r.out, "file: "), 2u);
    EXPECT_EQ(r.err, "File Corrupt " + dir.file("SHORT.AB#") + "\nCannot open file " +
                         dir.file("NONE.AB#") + "\nFile Corrupt " + dir.file("RATIO.AB#") +
                         "\nFile Corrupt " + dir.path() + "/RATIO.AB#\nFile Corrupt " + dir.path() +
                         "/SHORT.AB#\n");
    EXPECT_EQ(tool.run("export " + quoted(dir.file("SHORT.AB#"))).status, 2);
    EXPECT_EQ(tool.run("export").status, 64);
    EXPECT_EQ(tool.run("info").status, 64);
    EXPECT_EQ(tool.run("info --csv x").status, 64);
}

TEST(InfoCommand, DamagedFilesNeverCrashTheTool) {
    TempDir dir;
    std::mt19937 rng(99);
    Bytes real = seqtest::encode(*seqtest::storeFromIntervals(seqtest::randomIntervals(rng, 5000)));
    Tool tool;
    std::string files;
    for (int i = 0; i < 12; ++i) {
        Bytes damaged = real;
        for (int k = 0; k < 20; ++k) damaged[336 + rng() % (damaged.size() - 336)] = rng() & 0xFF;
        if (i % 3 == 0) damaged.resize(rng() % damaged.size());
        if (i % 4 == 0) damaged[288 + rng() % 48] = rng() & 0xFF;  // start time and position
        const std::string name = "D" + std::to_string(i) + ".AB#";
        dir.write(name, damaged);
        files += " " + quoted(dir.file(name));
        ToolRun csv = tool.run("export " + quoted(dir.file(name)));
        EXPECT_TRUE(csv.status == 0 || csv.status == 2) << i;
    }
    ToolRun r = tool.run("info" + files);
    EXPECT_TRUE(r.status == 0 || r.status == 2);
    ToolRun json = tool.run("info --json" + files);
    EXPECT_TRUE(json.status == 0 || json.status == 2);
}

}  // namespace
