#include "sequence/OrphanRecovery.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "SequenceTestData.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

const JulianTime kStart = JulianTime::fromDateTime(2011, 7, 1, 18, 45, 14, 0);

Bytes imageOf(const std::vector<int32_t>& intervals, JulianTime start = kStart) {
    return seqtest::encode(*seqtest::storeFromIntervals(intervals),
                           SequenceStartTime::fromJulian(start));
}

// A file as a save cut short leaves it, written `ageSeconds` ago.
void plant(const TempDir& dir, const std::string& name, const Bytes& bytes, int ageSeconds) {
    dir.write(name, bytes);
    fs::last_write_time(dir.file(name),
                        fs::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
}

TEST(OrphanRecoveryImage, OnlyAWholeImageAsTheWriterMakesItIsComplete) {
    const Bytes whole = imageOf({100, 120, 60, 5000, 9000, 3000000});
    EXPECT_TRUE(OrphanRecovery::isCompleteImage(whole));
    // Cut inside the last code (four bytes long), or inside the header.
    for (size_t cut = 1; cut < 4; ++cut) {
        EXPECT_FALSE(OrphanRecovery::isCompleteImage(Bytes(whole.begin(), whole.end() - cut)))
            << cut;
    }
    EXPECT_FALSE(OrphanRecovery::isCompleteImage(Bytes(whole.begin(), whole.begin() + 300)));
    EXPECT_FALSE(OrphanRecovery::isCompleteImage({}));
    // A long code where the writer would have used a delta is not the writer's.
    Bytes notCanonical = imageOf({100, 120});
    ASSERT_EQ(notCanonical.size(), 339u);
    notCanonical.back() = 0x78;  // 120 as the two-byte code 0x80 0x78
    notCanonical.insert(notCanonical.end() - 1, 0x80);
    EXPECT_FALSE(OrphanRecovery::isCompleteImage(notCanonical));
    // Text in the header fields does not matter; a changed timing value or older type does.
    Bytes withText = whole;
    withText[30] = 'X';
    EXPECT_TRUE(OrphanRecovery::isCompleteImage(withText));
    Bytes otherTiming = whole;
    otherTiming[284] = 0x51;  // 25 041
    EXPECT_FALSE(OrphanRecovery::isCompleteImage(otherTiming));
    Bytes olderType = whole;
    olderType[3] = 0x83;
    EXPECT_FALSE(OrphanRecovery::isCompleteImage(olderType));
}

TEST(OrphanRecoverySweep, PublishesRemovesOrWaitsAsTheFileDeserves) {
    TempDir dir;
    const Bytes a = imageOf({100, 120, 60});
    const Bytes b = imageOf({200, 210}, kStart + int64_t{5} * JulianTime::kSecond);
    const Bytes cut = imageOf({100, 120, 60, 5000});
    const Bytes torn = Bytes(cut.begin(), cut.end() - 1);  // ends inside a two-byte code
    plant(dir, "L7011845.14#.tmpAbC123", a, 120);          // complete, name free: published
    plant(dir, "L7011845.19#.tmp000001", b, 0);            // too young: may be a save in progress
    plant(dir, "L7011845.20#.tmpTorn01", torn, 120);       // torn: removed
    plant(dir, "notes.txt.tmpAbC123", {1, 2}, 120);        // not a sequence's: left alone
    const OrphanRecovery::Result r = OrphanRecovery::sweep(dir.path());
    EXPECT_EQ(r.published, 1);
    EXPECT_EQ(r.removed, 1);
    EXPECT_EQ(r.waiting, 1);
    EXPECT_EQ(dir.names(),
              (Names{"L7011845.14#", "L7011845.19#.tmp000001", "notes.txt.tmpAbC123"}));
    EXPECT_EQ(dir.read("L7011845.14#"), a);
}

TEST(OrphanRecoverySweep, ATakenNameIsNeverReplaced) {
    TempDir dir;
    const Bytes a = imageOf({100, 120, 60});
    const Bytes other = imageOf({300, 300, 300});
    // The save had completed but was cut before it removed its temporary name.
    dir.write("L7011845.14#", a);
    plant(dir, "L7011845.14#.tmpAAAAAA", a, 120);
    // A different sequence holds the name: the orphan moves on to the next free second.
    dir.write("L7011845.30#", other);
    dir.write("L7011845.31#", other);
    const Bytes late = imageOf({150, 150}, kStart + int64_t{16} * JulianTime::kSecond);
    plant(dir, "L7011845.30#.tmpBBBBBB", late, 120);
    // An empty file is the claim of a save cut short on a card: the orphan takes its place.
    plant(dir, "L7011845.40#", {}, 120);
    const Bytes claimed = imageOf({400}, kStart + int64_t{26} * JulianTime::kSecond);
    plant(dir, "L7011845.40#.tmpCCCCCC", claimed, 120);

    const OrphanRecovery::Result r = OrphanRecovery::sweep(dir.path());
    EXPECT_EQ(r.published, 2);
    EXPECT_EQ(r.removed, 1);
    EXPECT_EQ(dir.names(), (Names{"L7011845.14#", "L7011845.30#", "L7011845.31#", "L7011845.32#",
                                  "L7011845.40#"}));
    EXPECT_EQ(dir.read("L7011845.14#"), a);
    EXPECT_EQ(dir.read("L7011845.30#"), other);
    EXPECT_EQ(dir.read("L7011845.31#"), other);
    EXPECT_EQ(dir.read("L7011845.32#"), late);
    EXPECT_EQ(dir.read("L7011845.40#"), claimed);
}

TEST(OrphanRecoverySweep, AFreshEmptyFileIsSomeoneElsesClaim) {
    TempDir dir;
    dir.write("L7011845.14#", {});
    plant(dir, "L7011845.14#.tmpAbC123", imageOf({100}), 120);
    const OrphanRecovery::Result r = OrphanRecovery::sweep(dir.path());
    // A save in progress owns the empty name: the orphan goes to the next second.
    EXPECT_EQ(r.published, 1);
    EXPECT_TRUE(dir.read("L7011845.14#").empty());
    EXPECT_EQ(dir.read("L7011845.15#"), imageOf({100}));
}

TEST(OrphanRecoveryGate, SweepsANewFolderOnceAndThenStaysCheap) {
    TempDir first, second;
    OrphanRecovery recovery;
    recovery.onFolderCheck(first.path());
    plant(first, "L7011845.14#.tmpAbC123", imageOf({100}), 120);
    // Checked again before every save: no second sweep of the same folder.
    recovery.onFolderCheck(first.path());
    EXPECT_EQ(first.names(), Names{"L7011845.14#.tmpAbC123"});
    // A folder the check has not seen is swept at once, as after a change of folder.
    plant(second, "K9301200.00#.tmpAbC123", imageOf({100}), 120);
    recovery.onFolderCheck(second.path());
    EXPECT_EQ(second.names(), Names{"K9301200.00#"});
    recovery.onFolderCheck(first.path());
    EXPECT_EQ(first.names(), Names{"L7011845.14#"});
}

}  // namespace
