// Kept crossings into the recorder's accumulator: nothing lost at the file size limit.
#include "tools/zelkora-tool/CrossingFeed.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

#include "sequence/SequenceFile.h"

namespace {

struct Written {
    std::vector<int32_t> intervals;
    JulianTime start;
    size_t imageSize = 0;
    int32_t decoded = 0;
};

class CrossingFeedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sequence->start(16, "", 1, 5, 5000000, false, true);
        sequence->reset();
        sequence->setWriter([this](const DotStore& store, JulianTime start,
                                   const PositionBlock& position, std::string& name) {
            Written w;
            for (int32_t i = 1; i < store.count; ++i) {
                w.intervals.push_back(store.times[i] - store.times[i - 1]);
            }
            w.start = start;
            const auto image =
                encodeSequenceImage(store, {}, SequenceStartTime::fromJulian(start), position);
            w.imageSize = image.size();
            auto check = std::make_unique<DotStore>();
            w.decoded = decodeSequenceImage(image, *check) - 1;
            files.push_back(std::move(w));
            name = "f" + std::to_string(files.size());
            return 0;
        });
        sequence->setSaveListener([this](const std::string&) { feed.saved(); });
    }

    const JulianTime start = JulianTime::fromDateTime(2024, 6, 1, 21, 0, 0, 0);
    std::unique_ptr<SequenceFile> sequence = std::make_unique<SequenceFile>();
    tool::CrossingFeed feed{*sequence, start};
    std::vector<Written> files;
};

TEST_F(CrossingFeedTest, CallsOfLongCodesAreSplitBeforeAFileOverflows) {
    // Calls whose intervals alternate by 100 µs (two bytes each), 20 s of them, each call
    // ended by a 20 ms pause; all smooth enough for the call detector.
    std::vector<int32_t> fed;
    for (int i = 0; fed.size() < 36000; ++i) {
        fed.push_back(i % 200 == 199 ? 20000 : (i % 2 ? 600 : 500));
    }
    double t = 1000.25;
    ASSERT_TRUE(feed.add(t));
    for (int32_t interval : fed) ASSERT_TRUE(feed.add(t += interval));
    ASSERT_GE(sequence->saveKept(), 0);

    ASSERT_GE(files.size(), 3u);
    std::vector<int32_t> all;
    JulianTime expected = start + 1000;
    for (const Written& w : files) {
        // Every file holds all it was given, and they follow on without a gap.
        EXPECT_EQ(w.decoded, static_cast<int32_t>(w.intervals.size()));
        EXPECT_LE(w.imageSize, seqformat::kMaxWrittenSize);
        EXPECT_EQ(w.start, expected);
        expected += std::accumulate(w.intervals.begin(), w.intervals.end(), int64_t{0});
        all.insert(all.end(), w.intervals.begin(), w.intervals.end());
    }
    EXPECT_EQ(all, fed);
}

TEST_F(CrossingFeedTest, AGapLongerThanAnySequenceStartsAfreshAtItsTime) {
    auto call = [&](double& t) {
        for (int i = 0; i < 40; ++i) ASSERT_TRUE(feed.add(t += 300 + i));
        ASSERT_TRUE(feed.add(t += 30000));
    };
    double t = 0;
    ASSERT_TRUE(feed.add(t));
    for (int c = 0; c < 3; ++c) call(t);
    t += 60e6;  // a minute of silence
    const double resumed = t;
    ASSERT_TRUE(feed.add(t));
    for (int c = 0; c < 3; ++c) call(t);
    ASSERT_GE(sequence->saveKept(), 0);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].start, start + static_cast<int64_t>(resumed));
    EXPECT_EQ(files[1].intervals.size(), 3u * 41);
}

}  // namespace
