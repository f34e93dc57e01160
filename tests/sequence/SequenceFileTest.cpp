#include "sequence/SequenceFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <vector>

#include "platform/MessageSink.h"
#include "sequence/SequenceFormat.h"
#include "sequence/SequenceSaver.h"
#include "support/TempDir.h"

namespace {

// One file the accumulator wrote, as its intervals and start time.
struct Written {
    std::vector<int32_t> intervals;
    JulianTime start;
};

std::vector<int32_t> intervalsOf(const DotStore& store) {
    std::vector<int32_t> out;
    for (int32_t i = 1; i < store.count; ++i) out.push_back(store.times[i] - store.times[i - 1]);
    return out;
}

const JulianTime kEvening = JulianTime::fromDateTime(2024, 6, 1, 21, 30, 0, 0);

class Accumulator : public ::testing::Test {
  protected:
    void SetUp() override {
        file.setWriter([this](const DotStore& store, JulianTime start, const PositionBlock&,
                              std::string& name) {
            if (failWrites) return -2;
            written.push_back({intervalsOf(store), start});
            name = "F" + std::to_string(written.size());
            return 0;
        });
    }

    // Monitor mode with N = 16, K = 1, L = 5, T = 5 s.
    void startAutomatic(bool tone = false) {
        file.start(16, "", 1, 5, 5000000, tone, true);
        file.reset();
    }
    void startManual(bool tone = false) {
        file.start(16, "", 1, 5, 5000000, tone, false);
        file.reset();
    }

    int32_t add(const std::vector<int32_t>& intervals) {
        int32_t saved = 0;
        for (int32_t v : intervals) {
            const int32_t r = file.addInterval(v);
            EXPECT_GE(r, 0);
            saved += r;
        }
        return saved;
    }
    // A call-like run: `n` smoothly falling intervals, preceded by a break.
    static std::vector<int32_t> call(int32_t n) {
        std::vector<int32_t> v{5000};
        for (int32_t i = 0; i < n; ++i) v.push_back(300 - i);
        return v;
    }

    SequenceFile file;
    std::vector<Written> written;
    bool failWrites = false;
};

TEST_F(Accumulator, SmoothnessAndRunCountingFollowTheTolerance) {
    startAutomatic();
    // 100, 100, 100 is smooth: a run starts at the third interval after the break, and with
    // L = 5 it counts five smooth intervals later (counter 3 -> 8).
    add({5000, 100, 100, 100, 100, 100, 100, 100});
    EXPECT_EQ(file.runsCounted(), 0);
    add({100});
    EXPECT_EQ(file.runsCounted(), 1);
    add({100, 100, 100});  // the same run is counted once
    EXPECT_EQ(file.runsCounted(), 1);
    EXPECT_FALSE(file.keep());

    // 100, 200, 100: the 200 is not smooth, which breaks the run; a new run must follow.
    add({200, 100, 100, 100, 100, 100, 100});
    EXPECT_EQ(file.runsCounted(), 1);
    add({100});
    EXPECT_EQ(file.runsCounted(), 2);
    EXPECT_TRUE(file.keep());
}

TEST_F(Accumulator, OneRunIsNotEnoughToKeepASequence) {
    startAutomatic();
    add(call(20));
    add({6000000});  // a gap longer than T
    EXPECT_FALSE(file.keep());
    EXPECT_TRUE(written.empty());
}

TEST_F(Accumulator, GapLongerThanTSavesEveryIntervalOfTheSequence) {
    startAutomatic();
    std::vector<int32_t> sequence = call(12);
    const auto second = call(12);
    sequence.insert(sequence.end(), second.begin(), second.end());
    const JulianTime first = kEvening;
    EXPECT_EQ(file.addFirstInterval(sequence[0], first), 0);
    add(std::vector<int32_t>(sequence.begin() + 1, sequence.end()));
    ASSERT_TRUE(file.keep());
    EXPECT_EQ(file.addInterval(6000000), 1);
    ASSERT_EQ(written.size(), 1u);
    // All of them, the newest included.
    EXPECT_EQ(written[0].intervals, sequence);
    // The file starts where its first interval began.
    EXPECT_EQ(written[0].start, first - int64_t{sequence[0]});
    // The gap opens the next sequence.
    EXPECT_EQ(file.ringCount(), 2);
    EXPECT_FALSE(file.keep());
}

TEST_F(Accumulator, IdleTicksSaveAtTheSixthSecond) {
    startAutomatic();
    add(call(12));
    add(call(12));
    ASSERT_TRUE(file.keep());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(file.idleTick(), 0);
    EXPECT_EQ(file.idleTick(), 1);
    EXPECT_EQ(written.size(), 1u);
    EXPECT_EQ(file.idleTick(), 0);  // nothing left to save
}

TEST_F(Accumulator, IdleTicksDoNothingInManualMode) {
    startManual();
    add(call(12));
    add(call(12));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(file.idleTick(), 0);
    EXPECT_TRUE(written.empty());
}

TEST_F(Accumulator, LongSequenceIsCutAtFifteenSecondsWithoutLosingAnInterval) {
    startAutomatic();
    // Calls of 30 smooth intervals every 100 ms go on for 20 seconds.
    std::vector<int32_t> all;
    while (std::accumulate(all.begin(), all.end(), int64_t{0}) < 20000000) {
        const auto c = call(30);
        all.insert(all.end(), c.begin(), c.end());
        const int64_t used = std::accumulate(c.begin(), c.end(), int64_t{0});
        all.push_back(static_cast<int32_t>(100000 - used));
    }
    EXPECT_EQ(add(all), 1);
    ASSERT_EQ(written.size(), 1u);
    const auto cut = written[0].intervals;
    const int64_t sum = std::accumulate(cut.begin(), cut.end(), int64_t{0});
    EXPECT_LE(sum, 14999999);
    EXPECT_GT(sum, 14800000);
    // The file holds the first intervals in order; the rest of the data is in the ring.
    ASSERT_LE(cut.size(), all.size());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), all.begin()));
    file.saveNow();
    ASSERT_EQ(written.size(), 2u);
    std::vector<int32_t> joined = cut;
    joined.insert(joined.end(), written[1].intervals.begin(), written[1].intervals.end());
    EXPECT_EQ(joined, all);
    // The second file begins where the first ended.
    EXPECT_EQ(written[1].start, written[0].start + sum);
}

TEST_F(Accumulator, ManualModeKeepsTheNewestIntervalsOfAWrappedRing) {
    startManual();
    std::vector<int32_t> all;
    for (int32_t i = 0; i < 20000; ++i) all.push_back(100 + i % 50);
    EXPECT_EQ(add(all), 0);
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(file.saveNow(), 1);
    ASSERT_EQ(written.size(), 1u);
    const auto& kept = written[0].intervals;
    EXPECT_EQ(kept.size(), 16382u);  // all the ring holds but its oldest slot
    EXPECT_TRUE(std::equal(kept.rbegin(), kept.rend(), all.rbegin()));
    EXPECT_EQ(file.saveNow(), 0);  // an empty ring writes no file
    EXPECT_EQ(written.size(), 1u);
}

TEST_F(Accumulator, DisplayPointsCarryIntervalAndFrequency) {
    startManual();
    add({200, 200, 200, 250});
    int32_t value = 0, frequency = 0;
    std::vector<std::pair<int32_t, int32_t>> points;
    while (file.nextDisplayPoint(value, frequency)) points.emplace_back(value, frequency);
    // The first two dots have no span of two intervals behind them in the ring.
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[0], std::make_pair(200, 0));
    EXPECT_EQ(points[1], std::make_pair(200, 0));
    EXPECT_EQ(points[2], std::make_pair(200, 40000000));  // 16e9 / 400
    EXPECT_EQ(points[3], std::make_pair(250, 35555556));  // 16e9 / 450, rounded
    int32_t head = 0, tail = 0;
    file.ringBounds(head, tail);
    EXPECT_EQ(head, 5);
    EXPECT_EQ(tail, 0);
    EXPECT_EQ(file.ringFrequency(head - 1), 35555556);
    EXPECT_FALSE(file.nextDisplayPoint(value, frequency));
}

TEST_F(Accumulator, FrequenciesOnlyForSpansOf48To11999) {
    startManual();
    add({24, 24, 24, 23, 6000, 6000, 5999});
    int32_t value = 0, frequency = 0;
    std::vector<int32_t> f;
    while (file.nextDisplayPoint(value, frequency)) f.push_back(frequency);
    EXPECT_EQ(f, (std::vector<int32_t>{0, 0, 333333333, 0, 2656483, 0, 1333444}));
}

TEST_F(Accumulator, ToneWindowForRatio16) {
    startManual(true);
    EXPECT_EQ(file.toneLower(), 198);
    EXPECT_EQ(file.toneUpper(), 202);
}

TEST_F(Accumulator, CalibrationToneCutsTheFileAndBecomesOneInterval) {
    startManual(true);
    const std::vector<int32_t> before{1000, 1100, 1200, 197, 203, 1000};
    EXPECT_EQ(file.addFirstInterval(before[0], kEvening), 0);
    add(std::vector<int32_t>(before.begin() + 1, before.end()));
    for (int i = 0; i < 320; ++i) ASSERT_EQ(file.addInterval(200), 0);
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(file.addInterval(200), 1);  // sum 64 200 µs
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].intervals, before);
    EXPECT_TRUE(file.toneInProgress());

    for (int i = 0; i < 100; ++i) ASSERT_EQ(file.addInterval(199), 0);
    // The interval that ends the tone is kept, after the tone as one interval.
    EXPECT_EQ(file.addInterval(1500), 0);
    EXPECT_FALSE(file.toneInProgress());
    add({1600});
    EXPECT_EQ(file.saveNow(), 1);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[1].intervals, (std::vector<int32_t>{321 * 200 + 100 * 199, 1500, 1600}));
    // No time is lost: the second file starts where the first ended.
    EXPECT_EQ(written[1].start,
              written[0].start + std::accumulate(before.begin(), before.end(), int64_t{0}));
}

TEST_F(Accumulator, ShortRunOfToneLikeIntervalsIsKeptInOrder) {
    startManual(true);
    add({1000, 200, 201, 199, 1000, 200});
    EXPECT_EQ(file.tonePending(), 1);  // the newest 200 is held until the next interval
    add({900});
    EXPECT_EQ(file.saveNow(), 1);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].intervals, (std::vector<int32_t>{1000, 200, 201, 199, 1000, 200, 900}));
}

TEST_F(Accumulator, TimeStampAddsTheElapsedTimeAsAnInterval) {
    startManual();
    EXPECT_EQ(file.addFirstInterval(500, kEvening), 0);
    add({600});
    EXPECT_EQ(file.newestDotTime(), kEvening + int64_t{600});
    // 5 µs after the newest dot: nothing; 2 s after: one interval of the elapsed time.
    EXPECT_EQ(file.addTimeStamp(kEvening + int64_t{605}), 0);
    EXPECT_EQ(file.ringCount(), 3);
    EXPECT_EQ(file.addTimeStamp(kEvening + int64_t{2000600}), 0);
    EXPECT_EQ(file.ringCount(), 4);
    EXPECT_EQ(file.saveNow(), 1);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].intervals, (std::vector<int32_t>{500, 600, 2000000}));
    EXPECT_EQ(written[0].start, kEvening - int64_t{500});
}

TEST_F(Accumulator, VeryLongFirstIntervalStartsAFreshRing) {
    startManual();
    add({500, 600, 700});
    EXPECT_EQ(file.addFirstInterval(15728641, kEvening), 0);
    EXPECT_EQ(file.ringCount(), 1);
    EXPECT_EQ(file.saveNow(), 0);
    add({800});
    EXPECT_EQ(file.saveNow(), 1);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].intervals, (std::vector<int32_t>{800}));
    EXPECT_EQ(written[0].start, kEvening);
}

TEST_F(Accumulator, FailedWriteIsReportedAsNegative) {
    startAutomatic();
    add(call(12));
    add(call(12));
    failWrites = true;
    EXPECT_LT(file.addInterval(6000000), 0);
    EXPECT_LT(file.saveNow(), 0);
}

// A full disk or a pulled card must not cost the sequences cut meanwhile: they wait, and
// are written in order, each whole and with its own start, once files can be written again.
TEST_F(Accumulator, SequencesThatCannotBeWrittenWaitAndFollowInOrder) {
    startAutomatic();
    std::vector<int32_t> pass = call(12);
    const auto second = call(12);
    pass.insert(pass.end(), second.begin(), second.end());
    failWrites = true;
    EXPECT_EQ(file.addFirstInterval(pass[0], kEvening), 0);
    add(std::vector<int32_t>(pass.begin() + 1, pass.end()));
    EXPECT_LT(file.addInterval(6000000), 0);
    // The next pass is cut as usual although the first still waits.
    for (size_t i = 0; i < pass.size(); ++i) EXPECT_GE(file.addInterval(pass[i]), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(file.idleTick(), 0);
    EXPECT_LT(file.idleTick(), 0);
    EXPECT_EQ(file.unsavedCount(), 2);
    EXPECT_LT(file.retryUnsaved(), 0);
    EXPECT_TRUE(written.empty());

    failWrites = false;
    EXPECT_EQ(file.retryUnsaved(), 1);
    EXPECT_EQ(file.unsavedCount(), 0);
    EXPECT_EQ(file.retryUnsaved(), 0);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].intervals, pass);
    EXPECT_EQ(written[0].start, kEvening - int64_t{pass[0]});
    // The second file opens with the gap that ended the first.
    std::vector<int32_t> withGap{6000000};
    withGap.insert(withGap.end(), pass.begin(), pass.end());
    EXPECT_EQ(written[1].intervals, withGap);
    EXPECT_EQ(written[1].start,
              written[0].start + std::accumulate(pass.begin(), pass.end(), int64_t{0}));
}

TEST_F(Accumulator, UserSaveAfterAFailedOneWritesBothStretches) {
    startManual();
    add({100, 200, 300});
    failWrites = true;
    EXPECT_LT(file.saveNow(), 0);
    add({400});
    EXPECT_LT(file.saveNow(), 0);  // still failing: it waits behind the first
    failWrites = false;
    add({500});
    EXPECT_EQ(file.saveNow(), 1);
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0].intervals, (std::vector<int32_t>{100, 200, 300}));
    EXPECT_EQ(written[1].intervals, (std::vector<int32_t>{400}));
    EXPECT_EQ(written[2].intervals, (std::vector<int32_t>{500}));
    // A save with nothing new still writes what waits.
    failWrites = true;
    add({600});
    EXPECT_LT(file.saveNow(), 0);
    failWrites = false;
    EXPECT_EQ(file.saveNow(), 1);
    EXPECT_EQ(written.back().intervals, (std::vector<int32_t>{600}));
}

TEST_F(Accumulator, WaitingSequencesAreBoundedByDroppingTheOldest) {
    startManual();
    failWrites = true;
    // Full sequences of 16 000 intervals: 64 000 bytes each while they wait.
    const int32_t fit = static_cast<int32_t>(SequenceFile::kUnsavedLimitBytes / (16001 * 4));
    for (int32_t s = 0; s < fit + 2; ++s) {
        file.addFirstInterval(100 + s, kEvening + int64_t{s} * 10000000);
        for (int32_t i = 1; i < 16000; ++i) file.addInterval(300);
        EXPECT_LT(file.saveNow(), 0);
    }
    EXPECT_EQ(file.unsavedCount(), fit);
    EXPECT_EQ(file.droppedUnsaved(), 2);
    failWrites = false;
    EXPECT_EQ(file.retryUnsaved(), 1);
    ASSERT_EQ(written.size(), static_cast<size_t>(fit));
    EXPECT_EQ(written.front().intervals.front(), 102);  // the two oldest went
    EXPECT_EQ(written.back().intervals.front(), 100 + fit + 1);
}

TEST_F(Accumulator, StopInMonitorModeSavesOnlyAPassThatHoldsCalls) {
    startAutomatic();
    add(call(12));
    EXPECT_EQ(file.saveKept(), 0);  // one run: no calls worth a file yet
    add(call(12));
    ASSERT_TRUE(file.keep());
    EXPECT_EQ(file.saveKept(), 1);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].intervals.size(), 26u);
    EXPECT_EQ(file.saveKept(), 0);

    startManual();
    add(call(12));
    add(call(12));
    EXPECT_EQ(file.saveKept(), 0);  // Record mode saves on demand only
    EXPECT_EQ(written.size(), 1u);
}

TEST(AccumulatorFolder, FolderIsCheckedBeforeEveryWrite) {
    TempDir first, second;
    platform::setMessageHandler([](const std::string&, platform::MessageIcon) {});
    SequenceFile file;
    int checks = 0;
    std::string folder = first.folder();
    file.setFolderCheck([&] {
        ++checks;
        return folder;
    });
    file.start(16, "", 1, 5, 5000000, false, false);
    file.reset();
    file.addFirstInterval(100, kEvening);
    ASSERT_EQ(file.saveNow(), 1);
    EXPECT_TRUE(std::filesystem::exists(first.file(file.lastFileName())));
    folder = second.folder();
    file.addFirstInterval(100, kEvening + int64_t{5000000});
    ASSERT_EQ(file.saveNow(), 1);
    EXPECT_TRUE(std::filesystem::exists(second.file(file.lastFileName())));
    // No folder to write into: the save fails and the sequence waits for one.
    folder.clear();
    file.addFirstInterval(100, kEvening + int64_t{10000000});
    EXPECT_EQ(file.saveNow(), SequenceSaver::kCannotWrite);
    EXPECT_EQ(file.unsavedCount(), 1);
    EXPECT_EQ(checks, 3);
    platform::setMessageHandler({});
}

TEST_F(Accumulator, SaveListenerHearsEveryFile) {
    std::vector<std::string> heard;
    file.setSaveListener([&](const std::string& name) { heard.push_back(name); });
    startManual();
    add({100, 200});
    file.saveNow();
    add({300});
    file.saveNow();
    EXPECT_EQ(heard, (std::vector<std::string>{"F1", "F2"}));
    EXPECT_EQ(file.lastFileName(), "F2");
}

// Through the real writer: a dense stretch that would overflow one file keeps its newest
// intervals, and the file reads back exactly.
TEST(AccumulatorFiles, DenseDataKeepsTheNewestIntervalsThatFitAFile) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("zelkora-seqfile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    platform::setMessageHandler([](const std::string&, platform::MessageIcon) {});

    SequenceFile file;
    file.setFolder(dir.string() + "/");
    file.start(16, "", 1, 5, 5000000, false, false);
    file.reset();
    std::vector<int32_t> all;
    for (int32_t i = 0; i < 17000; ++i) all.push_back(i % 2 ? 300 : 100);  // 2 bytes each
    file.addFirstInterval(all[0], kEvening);
    for (size_t i = 1; i < all.size(); ++i) file.addInterval(all[i]);
    ASSERT_EQ(file.saveNow(), 1);

    std::ifstream in(dir / file.lastFileName(), std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    EXPECT_LE(image.size(), seqformat::kMaxWrittenSize);
    DotStore back;
    ASSERT_GT(decodeSequenceImage(image, back), 16000);
    const auto got = intervalsOf(back);
    EXPECT_TRUE(std::equal(got.rbegin(), got.rend(), all.rbegin()));
    SequenceFileHeader header;
    ASSERT_TRUE(readSequenceHeader(image, header));
    const int64_t sum = std::accumulate(got.begin(), got.end(), int64_t{0});
    EXPECT_EQ(header.start,
              SequenceStartTime::fromJulian(
                  kEvening + int64_t{std::accumulate(all.begin() + 1, all.end(), 0)} - sum));
    platform::setMessageHandler({});
    std::filesystem::remove_all(dir);
}

}  // namespace
