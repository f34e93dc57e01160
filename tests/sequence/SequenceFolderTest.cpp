#include "sequence/SequenceFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(SequenceFolderScan, ListsMatchingFilesAsSpelledInStartOrder) {
    TempDir dir;
    for (const char* name :
         {"L7011845.14#", "L7011845.02#", "K9301200.00#", "abc.xy#", "abc.txt"}) {
        dir.write(name, {1, 2, 3});
    }
    std::filesystem::create_directory(dir.file("M1010000.00#"));  // a folder is no sequence
    // A link to a sequence is one; a link to nothing and a FIFO are not.
    std::filesystem::create_symlink("K9301200.00#", dir.file("N2020000.00#"));
    std::filesystem::create_symlink("gone", dir.file("N2020000.01#"));
    ASSERT_EQ(::mkfifo(dir.file("N2020000.02#").c_str(), 0600), 0);
    SequenceFolder list;
    EXPECT_EQ(list.scan(dir.path()), 5);
    EXPECT_EQ(list.names(), (Names{"abc.xy#", "K9301200.00#", "L7011845.02#", "L7011845.14#",
                                   "N2020000.00#"}));
    EXPECT_EQ(list.find("L7011845.02#"), 2);
    // A name remembered in another case still finds its file.
    EXPECT_EQ(list.find("l7011845.02#"), 2);
    EXPECT_EQ(list.find("ABC.XY#"), 0);
    EXPECT_EQ(list.find("L7011845.03#"), -1);
}

TEST(SequenceFolderScan, LowerCaseNamesKeepTheirSpellingAndTheirPlaceInTime) {
    // A card written by another program: lower-case names among upper-case ones, and on a
    // file system that tells case apart even two names that differ only in case.
    TempDir dir;
    for (const char* name : {"m1010000.00#", "L7011845.14#", "l7011845.02#", "K9301200.00#",
                             "k9301200.00#", "l7011845.30#"}) {
        dir.write(name, {1});
    }
    SequenceFolder list;
    EXPECT_EQ(list.scan(dir.path()), 6);
    const Names expected{"K9301200.00#", "k9301200.00#", "l7011845.02#",
                         "L7011845.14#", "l7011845.30#", "m1010000.00#"};
    EXPECT_EQ(list.names(), expected);
    // Every listed name opens as it stands.
    for (const std::string& name : list.names()) {
        EXPECT_TRUE(std::filesystem::is_regular_file(dir.file(name))) << name;
    }
    // The exact spelling wins over a twin in the other case.
    EXPECT_EQ(list.find("k9301200.00#"), 1);
    EXPECT_EQ(list.find("K9301200.00#"), 0);
    // Inserting one at a time agrees with the scan.
    SequenceFolder inserted;
    for (const char* name : {"l7011845.30#", "k9301200.00#", "m1010000.00#", "L7011845.14#",
                             "K9301200.00#", "l7011845.02#"}) {
        inserted.addName(name);
    }
    EXPECT_EQ(inserted.names(), expected);
}

TEST(SequenceFolderScan, SpellingOnDiskFindsTheFileWhateverCaseIsAsked) {
    TempDir dir;
    dir.write("l7011845.14#", {1});
    dir.write("K9301200.00#", {1});
    std::filesystem::create_directory(dir.file("m1010000.00#"));
    EXPECT_EQ(SequenceFolder::spellingOnDisk(dir.path(), "L7011845.14#"), "l7011845.14#");
    EXPECT_EQ(SequenceFolder::spellingOnDisk(dir.path(), "l7011845.14#"), "l7011845.14#");
    EXPECT_EQ(SequenceFolder::spellingOnDisk(dir.path(), "k9301200.00#"), "K9301200.00#");
    // Neither a folder nor a missing name is taken for the file.
    EXPECT_EQ(SequenceFolder::spellingOnDisk(dir.path(), "M1010000.00#"), "M1010000.00#");
    EXPECT_EQ(SequenceFolder::spellingOnDisk(dir.path(), "GONE.00#"), "GONE.00#");
    EXPECT_EQ(SequenceFolder::spellingOnDisk("/nonexistent/zelkora", "A.BC#"), "A.BC#");
}

// A save on a card claims its name with an empty file first; a crash can leave that claim.
TEST(SequenceFolderScan, EmptyFilesAreClaimsNotSequences) {
    TempDir dir;
    dir.write("L7011845.14#", {});
    dir.write("L7011845.15#", {0x1A});
    dir.write("L7011845.15#.tmpAbC123", {0x1A});
    SequenceFolder list;
    EXPECT_EQ(list.scan(dir.path()), 1);
    EXPECT_EQ(list.names(), (Names{"L7011845.15#"}));
    // The window's first read of a full card takes names only; sizes come later.
    EXPECT_EQ(list.scan(dir.path(), SequenceFolder::Sizes::kLater), 2);
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
        dir.write(name, {0x1A});  // a claim (empty) would not be listed
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
