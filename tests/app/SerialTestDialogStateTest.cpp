// The serial test dialog's states: the captions of a run, a stop that waits for the worker,
// and the way back to idle when a run cannot start.
#include "app/SerialTestDialogState.h"

#include <gtest/gtest.h>

using Action = SerialTestDialogState::RunAction;

TEST(SerialTestDialogState, RunStopEndAndAFailedStart) {
    SerialTestDialogState s;
    s.Open();
    EXPECT_EQ(s.buttonText(), "Run");
    EXPECT_EQ(s.recordingText(), "No");

    ASSERT_EQ(s.RunPressed(), Action::Start);
    s.Started(203);
    EXPECT_EQ(s.buttonText(), "Stop");
    EXPECT_EQ(s.recordingText(), "Yes");
    EXPECT_EQ(s.portText(), "203");
    EXPECT_FALSE(s.storeEnabled());
    acquisition::SerialTestStats counted;
    counted.CountInterval(1000, 0);
    s.ShowStats(counted.texts());
    // The worker is asked once; the button waits for its end.
    EXPECT_EQ(s.RunPressed(), Action::Stop);
    EXPECT_FALSE(s.buttonEnabled());
    EXPECT_EQ(s.RunPressed(), Action::None);
    s.Idle();
    EXPECT_EQ(s.buttonText(), "Run");
    EXPECT_TRUE(s.buttonEnabled());
    EXPECT_EQ(s.stats().transitions, "1");  // kept for reading until the next run

    // "Cannot open output file": no worker runs that could end the run, so the dialog
    // itself goes back to idle, ready for another press.
    ASSERT_EQ(s.RunPressed(), Action::Start);
    EXPECT_EQ(s.stats().transitions, "0");
    s.Idle();
    EXPECT_EQ(s.recordingText(), "No");
    EXPECT_TRUE(s.storeEnabled());
    EXPECT_EQ(s.RunPressed(), Action::Start);
}
