// The serial test dialog's states: idle and running, the captions, a stop that waits for
// the worker, and the way back to idle when a run cannot start.
#include "app/SerialTestDialogState.h"

#include <gtest/gtest.h>

using Action = SerialTestDialogState::RunAction;

namespace {

void expectIdle(const SerialTestDialogState& s) {
    EXPECT_FALSE(s.running());
    EXPECT_EQ(s.buttonText(), "Run");
    EXPECT_EQ(s.recordingText(), "No");
    EXPECT_TRUE(s.buttonEnabled());
    EXPECT_TRUE(s.storeEnabled());
}

acquisition::SerialTestStats::Texts counted() {
    acquisition::SerialTestStats stats;
    stats.Begin(JulianTime(int64_t{0}), 0);
    stats.CountInterval(1000, 0);
    stats.OverflowEnded();
    return stats.texts();
}

}  // namespace

TEST(SerialTestDialogState, RunStopAndEnd) {
    SerialTestDialogState s;
    s.Open();
    expectIdle(s);
    EXPECT_EQ(s.portText(), "");
    EXPECT_FALSE(s.storeToFile());
    EXPECT_EQ(s.stats().transitions, "0");

    ASSERT_EQ(s.RunPressed(), Action::Start);
    s.Started(203);
    EXPECT_TRUE(s.running());
    EXPECT_EQ(s.buttonText(), "Stop");
    EXPECT_EQ(s.recordingText(), "Yes");
    EXPECT_EQ(s.portText(), "203");
    EXPECT_FALSE(s.storeEnabled());
    s.ShowStats(counted());

    // The worker is asked once; the button waits for its end and stays "Stop" meanwhile.
    EXPECT_EQ(s.RunPressed(), Action::Stop);
    EXPECT_EQ(s.buttonText(), "Stop");
    EXPECT_FALSE(s.buttonEnabled());
    EXPECT_EQ(s.RunPressed(), Action::None);
    s.Idle();
    expectIdle(s);
    // The figures of the run stay until the next one starts.
    EXPECT_EQ(s.stats().transitions, "1");
    EXPECT_EQ(s.portText(), "203");
    ASSERT_EQ(s.RunPressed(), Action::Start);
    EXPECT_EQ(s.stats().transitions, "0");
    EXPECT_EQ(s.stats().overflows, "0");
}

TEST(SerialTestDialogState, AFailedStartLeavesItIdleAndReady) {
    SerialTestDialogState s;
    s.Open();
    s.SetStoreToFile(true);
    // "Cannot open output file" (or no module): no worker runs, so nothing could end it.
    ASSERT_EQ(s.RunPressed(), Action::Start);
    s.Idle();
    expectIdle(s);
    EXPECT_TRUE(s.storeToFile());
    EXPECT_EQ(s.RunPressed(), Action::Start);
}
