#include "sequence/SequenceFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"

namespace {

using Names = std::vector<std::string>;

TEST(SequenceFolderNames, PatternNeedsThreeCharacterExtensionEndingInHash) {
    EXPECT_TRUE(SequenceFolder::isSequenceFileName("L7011845.14#"));
    EXPECT_TRUE(SequenceFolder::isSequenceFileName("abc.xy#"));
    EXPECT_FALSE(SequenceFolder::isSequenceFileName("abc.txt"));
    EXPECT_FALSE(SequenceFolder::isSequenceFileName("abc.x#"));
    EXPECT_FALSE(SequenceFolder::isSequenceFileName("abc.xyz#"));
    EXPECT_FALSE(SequenceFolder::isSequenceFileName("L7011845.14#.tmpAbC123"));
}

TEST(SequenceFolderScan, ListsMatchingFilesUpperCaseInStartOrder) {
    TempDir dir;
    for (const char* name :
         {"L7011845.14#", "L7011845.02#", "K9301200.00#", "abc.xy#", "abc.txt"}) {
        dir.write(name, {1, 2, 3});
    }
    std::filesystem::create_directory(dir.file("M1010000.00#"));  // a folder is no sequence
    SequenceFolder list;
    EXPECT_EQ(list.scan(dir.path()), 4);
    EXPECT_EQ(list.names(), (Names{"ABC.XY#", "K9301200.00#", "L7011845.02#", "L7011845.14#"}));
    EXPECT_EQ(list.find("L7011845.02#"), 2);
    EXPECT_EQ(list.find("l7011845.02#"), -1);
}

TEST(SequenceFolderScan, MissingFolderIsReportedNotListed) {
    SequenceFolder list;
    list.addName("X.YZ#");
    EXPECT_EQ(list.scan("/nonexistent/zelkora/folder"), -1);
    EXPECT_TRUE(list.empty());
}

TEST(SequenceFolderAddName, KeepsOrderAndPutsTwinsAfterEachOther) {
    SequenceFolder list;
    for (const char* n : {"M", "C", "X", "A", "K", "P", "K", "Z", "B"}) list.addName(n);
    EXPECT_EQ(list.names(), (Names{"A", "B", "C", "K", "K", "M", "P", "X", "Z"}));
    // Compared by unsigned code unit: digits sort before letters, as year codes need.
    SequenceFolder codes;
    for (const char* n : {"A0010000.00#", "90010000.00#", "Z0010000.00#", "00010000.00#"})
        codes.addName(n);
    EXPECT_EQ(codes.names(),
              (Names{"00010000.00#", "90010000.00#", "A0010000.00#", "Z0010000.00#"}));
}

TEST(SequenceFolderAddName, AgreesWithScanOrderForManyNames) {
    TempDir dir;
    SequenceFolder inserted;
    uint32_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        char name[16];
        std::snprintf(name, sizeof name, "L%07u.%02u#", (seed >> 8) % 10000000u, (seed >> 3) % 60u);
        inserted.addName(name);
        dir.write(name, {});
    }
    SequenceFolder scanned;
    scanned.scan(dir.path());
    // Duplicates collapse on disk; the inserted list keeps twins. Compare the distinct order.
    Names distinct;
    for (const auto& n : inserted.names()) {
        if (distinct.empty() || distinct.back() != n) distinct.push_back(n);
    }
    EXPECT_EQ(scanned.names(), distinct);
}

}  // namespace
