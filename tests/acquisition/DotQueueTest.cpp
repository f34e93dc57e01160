#include "acquisition/DotQueue.h"

#include <gtest/gtest.h>

#include <thread>

using acquisition::DotPoint;
using acquisition::DotQueue;

namespace {

TEST(DotQueue, OldestComesOutFirst) {
    DotQueue q;
    for (int32_t i = 0; i < 10; ++i) q.push({i, i * 10});
    DotPoint p;
    for (int32_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(q.takeOldest(p));
        EXPECT_EQ(p, (DotPoint{i, i * 10}));
    }
    EXPECT_FALSE(q.takeOldest(p));
}

TEST(DotQueue, OverfullQueueKeepsTheNewest1024AndSaysSo) {
    DotQueue q;
    for (int32_t i = 0; i < 4096; ++i) q.push({i, 0});
    EXPECT_FALSE(q.trimIfOverfull());  // exactly 4 096 is not too many
    EXPECT_FALSE(q.dotsWasted());
    for (int32_t i = 4096; i < 5000; ++i) q.push({i, 0});
    EXPECT_TRUE(q.trimIfOverfull());
    EXPECT_EQ(q.count(), 1024);
    DotPoint p;
    ASSERT_TRUE(q.takeOldest(p));
    EXPECT_EQ(p.value, 3976);
    const DotQueue::TickState tick = q.beginTick();
    EXPECT_EQ(tick.count, 1023);
    EXPECT_TRUE(tick.dotsWasted);
    EXPECT_FALSE(tick.overflowSeen);
    EXPECT_FALSE(q.dotsWasted());  // read and cleared in one step
    // The queue goes on working after the trim, past its first capacity.
    for (int32_t i = 5000; i < 20000; ++i) q.push({i, 0});
    for (int32_t expected = 3977; expected < 20000; ++expected) {
        ASSERT_TRUE(q.takeOldest(p));
        ASSERT_EQ(p.value, expected);
    }
}

TEST(DotQueue, OverflowNoticeIsReadOnce) {
    DotQueue q;
    q.setOverflowSeen();
    EXPECT_TRUE(q.beginTick().overflowSeen);
    EXPECT_FALSE(q.beginTick().overflowSeen);
}

// A worker pushing and trimming while a view takes points: every point comes out at most
// once, in order, and what is neither taken nor left was dropped by a trim.
TEST(DotQueue, WorkerAndViewShareItSafely) {
    DotQueue q;
    constexpr int32_t kPoints = 200000;
    std::thread worker([&] {
        for (int32_t i = 0; i < kPoints; ++i) {
            q.push({i, -i});
            if (i % 64 == 0) q.trimIfOverfull();
        }
    });
    int32_t taken = 0, last = -1;
    bool ordered = true;
    DotPoint p;
    while (last < kPoints - 1) {
        const auto tick = q.beginTick();
        for (int32_t i = 0; i < tick.count && q.takeOldest(p); ++i) {
            ordered = ordered && p.value > last && p.frequency == -p.value;
            last = p.value;
            ++taken;
        }
        if (tick.count == 0 && last < kPoints - 1) std::this_thread::yield();
    }
    worker.join();
    EXPECT_TRUE(ordered);
    EXPECT_LE(taken, kPoints);
    EXPECT_EQ(q.count(), 0);
}

}  // namespace
