// Saves onto a real FAT32 file system, as on a field recorder's memory card: an image made
// by mkfs.vfat and mounted through fusefat, which refuses hard links, rename flags and
// permission changes. Skips with a message where the tools or FUSE are missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "ChildProcess.h"
#include "Fat32Card.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceFormat.h"
#include "sequence/SequenceSaver.h"
#include "sequence/SequenceTestData.h"
#include "support/PrivateFolders.h"

using namespace cardtest;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

TEST_F(Fat32Card, SavesNeverReplaceAndSurviveTheUnmount) {
    std::vector<std::string> messages;
    auto previous = platform::setMessageHandler(
        [&](const std::string& text, platform::MessageIcon) { messages.push_back(text); });
    const JulianTime start = JulianTime::fromDateTime(2011, 7, 1, 18, 45, 14, 250000);
    auto first = seqtest::storeFromIntervals({100, 120, 60, 5000, 9000, 3000000});
    auto second = seqtest::storeFromIntervals({200, 210});
    std::string a, b;
    const int32_t savedA = SequenceSaver::save(mount.string(), *first, {}, start, {}, &a);
    const int32_t savedB = SequenceSaver::save(mount.string(), *second, {}, start, {}, &b);
    platform::setMessageHandler(previous);
    ASSERT_EQ(savedA, 0);
    ASSERT_EQ(savedB, 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(a, "L7011845.14#");
    EXPECT_EQ(b, "L7011845.15#");

    // The command-line tool writes there too, and also moves on to a free name.
    for (int i = 0; i < 2; ++i) {
        ProgramRun encoded = run({kTool, "encode", "--ratio", "16", "--start",
                                  "2011-07-01 18:45:20", "--dir", mount.string()},
                                 root / "encode.err", "100\n120\n");
        ASSERT_EQ(encoded.status, 0) << encoded.err;
    }
    const std::vector<std::string> expected{"L7011845.14#", "L7011845.15#", "L7011845.20#",
                                            "L7011845.21#"};
    EXPECT_EQ(namesOnCard(), expected);  // and no temporary file or empty claim beside them

    // What was written is on the card itself, not only in a cache.
    unmountCard();
    mountCard();
    EXPECT_EQ(namesOnCard(), expected);
    EXPECT_EQ(readAll(mount / a), seqtest::encode(*first, SequenceStartTime::fromJulian(start)));
    EXPECT_EQ(readAll(mount / b), seqtest::encode(*second, SequenceStartTime::fromJulian(start)));
    ProgramRun listed = run({kTool, "ls", mount.string()}, root / "ls.err");
    EXPECT_EQ(listed.out, "L7011845.14#\nL7011845.15#\nL7011845.20#\nL7011845.21#\n");
    ProgramRun info = run({kTool, "info", (mount / "L7011845.21#").string()}, root / "info.err");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("dots: 3"), std::string::npos) << info.out;
}

TEST_F(Fat32Card, MonitorRecordingSavesItsPassesOnTheCard) {
    // The module simulator feeds `record --monitor`, whose folder is on the card.
    testing_support::usePrivateFolders(root, "[Zelkora]\nautoMaxTBC=1000000\n");
    ChildProcess simulator(
        {kTool, "simulate-module", "--mix", "passes", "--calls-per-second", "4", "--seed", "9"},
        (root / "sim.err").string());
    std::string line;
    ASSERT_TRUE(simulator.readLine(line, 5000));
    ASSERT_EQ(line.rfind("COM", 0), 0u) << line;
    const std::string port = std::to_string(std::atoi(line.c_str() + 3));
    const fs::path folder = mount / "Batfiles";
    ChildProcess recorder(
        {kTool, "record", "--monitor", "--port", port, "--seconds", "12", "--dir", folder.string()},
        (root / "record.err").string());
    std::vector<std::string> saved;
    while (recorder.readLine(line, 20000)) {
        if (line.rfind("saved ", 0) == 0) saved.push_back(line.substr(6));
    }
    EXPECT_EQ(recorder.wait(5000), 0) << readText(root / "record.err");
    simulator.signal(SIGTERM);
    simulator.wait(5000);

    ASSERT_GE(saved.size(), 1u) << readText(root / "record.err");
    std::vector<std::string> onCard;
    for (const auto& e : fs::directory_iterator(folder)) {
        onCard.push_back(e.path().filename().string());
    }
    std::sort(onCard.begin(), onCard.end());
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(onCard, saved);
    for (const std::string& name : saved) {
        DotStore store;
        EXPECT_GT(decodeSequenceImage(readAll(folder / name), store), 1) << name;
    }
}

}  // namespace
