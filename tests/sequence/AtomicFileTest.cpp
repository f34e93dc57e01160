// The file layer's publishing step on file systems that refuse hard links (FAT, exFAT) or
// rename flags (FUSE drivers), acted out through its seam.
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "SequenceTestData.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceSaver.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What a file system offers for giving a file its final name without replacing another.
enum class Offers { HardLinks, RenameFlagOnly, ExclusiveCreateOnly };

std::string nameOf(const testing::TestParamInfo<Offers>& info) {
    switch (info.param) {
        case Offers::HardLinks:
            return "HardLinks";
        case Offers::RenameFlagOnly:
            return "RenameFlagOnly";
        case Offers::ExclusiveCreateOnly:
            return "ExclusiveCreateOnly";
    }
    return "?";
}

// Installs calls that behave like the file system named by the parameter, counts them, and
// can make the step that should succeed fail with an I/O error instead.
class PublishOn : public testing::TestWithParam<Offers> {
  protected:
    void SetUp() override {
        platform::PublishCalls calls;
        calls.link = [this](const char* from, const char* to) {
            ++links;
            if (GetParam() != Offers::HardLinks) return failWith(EPERM);
            if (failTheWorkingStep) return failWith(EIO);
            return ::link(from, to);
        };
        calls.renameNoReplace = [this](const char* from, const char* to) {
            ++flaggedRenames;
            if (GetParam() == Offers::ExclusiveCreateOnly) return failWith(EINVAL);
            if (failTheWorkingStep) return failWith(EIO);
            return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        };
        calls.rename = [this](const char* from, const char* to) {
            ++plainRenames;
            if (failTheWorkingStep) return failWith(EIO);
            return ::rename(from, to);
        };
        previous_ = platform::setPublishCalls(std::move(calls));
    }
    void TearDown() override { platform::setPublishCalls(std::move(previous_)); }

    static int failWith(int err) {
        errno = err;
        return -1;
    }

    TempDir dir;
    int links = 0, flaggedRenames = 0, plainRenames = 0;
    bool failTheWorkingStep = false;

  private:
    platform::PublishCalls previous_;
};

TEST_P(PublishOn, CreatesTheFileWithTheWholeImageAndNoTemporaryLeft) {
    const Bytes image{1, 2, 3, 4, 5};
    bool exists = true;
    std::string error;
    ASSERT_TRUE(platform::createFileAtomically(dir.file("A.BC#"), image, &exists, &error)) << error;
    EXPECT_FALSE(exists);
    EXPECT_EQ(dir.read("A.BC#"), image);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"A.BC#"});
    // Each file system is served by the first step it offers, after one refusal of each
    // step it lacks.
    EXPECT_EQ(links, 1);
    EXPECT_EQ(flaggedRenames, GetParam() == Offers::HardLinks ? 0 : 1);
    EXPECT_EQ(plainRenames, GetParam() == Offers::ExclusiveCreateOnly ? 1 : 0);
}

TEST_P(PublishOn, NeverReplacesAnExistingFile) {
    dir.write("A.BC#", {9, 9});
    bool exists = false;
    EXPECT_FALSE(platform::createFileAtomically(dir.file("A.BC#"), Bytes{1, 2, 3}, &exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(dir.read("A.BC#"), (Bytes{9, 9}));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"A.BC#"});
    // An empty file is a file too: it may be another writer's claim on the name.
    dir.write("D.EF#", {});
    EXPECT_FALSE(platform::createFileAtomically(dir.file("D.EF#"), Bytes{1}, &exists));
    EXPECT_TRUE(exists);
    EXPECT_TRUE(dir.read("D.EF#").empty());
    EXPECT_EQ(plainRenames, 0);
}

TEST_P(PublishOn, AFailedPublishLeavesNeitherTemporaryNorClaim) {
    failTheWorkingStep = true;
    bool exists = true;
    std::string error;
    EXPECT_FALSE(platform::createFileAtomically(dir.file("A.BC#"), Bytes{1, 2}, &exists, &error));
    EXPECT_FALSE(exists);
    EXPECT_NE(error.find("A.BC#"), std::string::npos) << error;
    EXPECT_TRUE(dir.names().empty());
}

TEST_P(PublishOn, SaverMovesToTheNextSecondWhenTheNameIsTaken) {
    const JulianTime start = JulianTime::fromDateTime(2011, 7, 1, 18, 45, 14, 0);
    auto first = seqtest::storeFromIntervals({100});
    auto second = seqtest::storeFromIntervals({200});
    std::string a, b;
    ASSERT_EQ(SequenceSaver::save(dir.path(), *first, {}, start, {}, &a), 0);
    ASSERT_EQ(SequenceSaver::save(dir.path(), *second, {}, start, {}, &b), 0);
    EXPECT_EQ(a, "L7011845.14#");
    EXPECT_EQ(b, "L7011845.15#");
    EXPECT_EQ(dir.read(a), seqtest::encode(*first, SequenceStartTime::fromJulian(start)));
    EXPECT_EQ(dir.read(b), seqtest::encode(*second, SequenceStartTime::fromJulian(start)));
    EXPECT_EQ(dir.names(), (std::vector<std::string>{a, b}));
}

INSTANTIATE_TEST_SUITE_P(FileSystems, PublishOn,
                         testing::Values(Offers::HardLinks, Offers::RenameFlagOnly,
                                         Offers::ExclusiveCreateOnly),
                         nameOf);

TEST(PublishedName, OnlyTemporaryNamesOfTheFileLayerHaveOne) {
    EXPECT_EQ(platform::publishedNameOf("L7011845.14#.tmpAbC123"), "L7011845.14#");
    EXPECT_EQ(platform::publishedNameOf("l7011845.14#.tmp000000"), "l7011845.14#");
    EXPECT_EQ(platform::publishedNameOf("L7011845.14#"), "");
    EXPECT_EQ(platform::publishedNameOf(".tmpAbC123"), "");
    EXPECT_EQ(platform::publishedNameOf("L7011845.14#.tmpAbC12"), "");
    EXPECT_EQ(platform::publishedNameOf("L7011845.14#.tmpAb.123"), "");
    EXPECT_EQ(platform::publishedNameOf("L7011845.14#.bakAbC123"), "");
}

}  // namespace
