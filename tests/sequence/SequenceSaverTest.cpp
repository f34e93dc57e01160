#include "sequence/SequenceSaver.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "SequenceTestData.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceNaming.h"
#include "support/SmallVolume.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Collects what the saver shows instead of printing it.
class MessageCatcher {
  public:
    MessageCatcher() {
        previous_ = platform::setMessageHandler(
            [this](const std::string& text, platform::MessageIcon icon) {
                texts.push_back(text);
                icons.push_back(icon);
            });
    }
    ~MessageCatcher() { platform::setMessageHandler(previous_); }
    std::vector<std::string> texts;
    std::vector<platform::MessageIcon> icons;

  private:
    platform::MessageHandler previous_;
};

const JulianTime kStart = JulianTime::fromDateTime(2011, 7, 1, 18, 45, 14, 250000);

TEST(SequenceSaver, WritesTheEncodedImageUnderTheStartTimeName) {
    TempDir dir;
    MessageCatcher messages;
    auto store = seqtest::storeFromIntervals({100, 120, 60});
    PositionBlock position = PositionBlock::build(1, 1.5, 2.5, 3);
    std::string name;
    ASSERT_EQ(SequenceSaver::save(dir.path(), *store, {}, kStart, position, &name), 0);
    EXPECT_EQ(name, "L7011845.14#");
    Bytes written = readAll(dir.file(name));
    EXPECT_EQ(written, seqtest::encode(*store, SequenceStartTime::fromJulian(kStart), position));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{name});
    EXPECT_TRUE(messages.texts.empty());
}

TEST(SequenceSaver, NeverReplacesAFileStartedInTheSameSecond) {
    TempDir dir;
    auto first = seqtest::storeFromIntervals({100});
    auto second = seqtest::storeFromIntervals({200});
    std::string a, b, c;
    ASSERT_EQ(SequenceSaver::save(dir.folder(), *first, {}, kStart, {}, &a), 0);
    ASSERT_EQ(SequenceSaver::save(dir.folder(), *second, {}, kStart + int64_t{500000}, {}, &b), 0);
    ASSERT_EQ(SequenceSaver::save(dir.folder(), *second, {}, kStart, {}, &c), 0);
    EXPECT_EQ(a, "L7011845.14#");
    EXPECT_EQ(b, "L7011845.15#");
    EXPECT_EQ(c, "L7011845.16#");
    EXPECT_EQ(readAll(dir.file(a)), seqtest::encode(*first, SequenceStartTime::fromJulian(kStart)));
    // The header keeps the true start time whatever the name says.
    SequenceFileHeader header;
    ASSERT_TRUE(readSequenceHeader(readAll(dir.file(b)), header));
    EXPECT_EQ(header.start.second, 14);
    EXPECT_EQ(header.start.hundredths, 75);
    // A FIFO under a name is passed over when looking for the same sequence, not read: that
    // would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(dir.file("L7011845.17#").c_str(), 0600), 0);
    bool already = false;
    ASSERT_EQ(SequenceSaver::write(dir.folder(), *first, {}, kStart + 3 * JulianTime::kSecond, {},
                                   &c, &already),
              0);
    EXPECT_EQ(std::tuple(c, already), std::tuple("L7011845.18#", false));
}

TEST(SequenceSaver, NameProbingCrossesMinutesAndIsBounded) {
    TempDir dir;
    MessageCatcher messages;
    const JulianTime start = JulianTime::fromDateTime(2011, 7, 1, 18, 59, 59, 0);
    dir.write("L7011859.59#", {1});
    std::string name;
    auto store = seqtest::storeFromIntervals({100});
    ASSERT_EQ(SequenceSaver::save(dir.path(), *store, {}, start, {}, &name), 0);
    EXPECT_EQ(name, "L7011900.00#");
    EXPECT_EQ(readAll(dir.file("L7011859.59#")), Bytes{1});

    TempDir full;
    for (int32_t s = 0; s <= SequenceSaver::kMaxNameProbes; ++s) {
        full.write(seqnaming::sequenceFileName(start + int64_t{s} * JulianTime::kSecond), {7});
    }
    EXPECT_EQ(SequenceSaver::save(full.path(), *store, {}, start, {}, &name), -2);
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Couldn't open output file"});
    EXPECT_EQ(namesIn(full.path()).size(), static_cast<size_t>(SequenceSaver::kMaxNameProbes + 1));
}

TEST(SequenceSaver, MissingFolderIsReportedAndCreatesNothing) {
    MessageCatcher messages;
    auto store = seqtest::storeFromIntervals({100});
    std::string name = "unchanged";
    EXPECT_EQ(
        SequenceSaver::save("/nonexistent-zelkora-folder/Batfiles/", *store, {}, kStart, {}, &name),
        -2);
    EXPECT_EQ(name, "unchanged");
    ASSERT_EQ(messages.texts, std::vector<std::string>{"Couldn't open output file"});
    EXPECT_EQ(messages.icons.front(), platform::MessageIcon::Exclamation);
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-zelkora-folder"));
}

TEST(SequenceSaver, DiskFullMidWriteLeavesNoFileBehind) {
    // A file-size limit makes the write fail after the first bytes, as a full disk would.
    TempDir dir;
    MessageCatcher messages;
    std::vector<int32_t> intervals(5000, 2000);
    auto store = seqtest::storeFromIntervals(intervals);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int32_t result = SequenceSaver::save(dir.path(), *store, {}, kStart, {});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Couldn't open output file"});
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST(SequenceSaver, FullDiskSaysSoAndSavesAgainOnceThereIsRoom) {
    SmallVolume volume(256);
    if (!volume.ok()) GTEST_SKIP() << volume.reason();
    const std::string folder = volume.path() + "/Batfiles/";
    std::filesystem::create_directories(folder);
    MessageCatcher messages;
    auto store = seqtest::storeFromIntervals(std::vector<int32_t>(3000, 2000));
    volume.fill();
    std::string name;
    EXPECT_EQ(SequenceSaver::save(folder, *store, {}, kStart, {}, &name), SequenceSaver::kDiskFull);
    EXPECT_EQ(messages.texts,
              std::vector<std::string>{"Couldn't open output file: the disk is full"});
    EXPECT_TRUE(namesIn(folder).empty());
    // Quiet for a caller that reports by itself.
    EXPECT_EQ(SequenceSaver::write(folder, *store, {}, kStart, {}), SequenceSaver::kDiskFull);
    EXPECT_EQ(messages.texts.size(), 1u);

    volume.free();
    EXPECT_EQ(SequenceSaver::save(folder, *store, {}, kStart, {}, &name), 0);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{name});
    EXPECT_EQ(messages.texts.size(), 1u);
}

}  // namespace
