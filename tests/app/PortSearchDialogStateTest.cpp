// The port search dialog's texts, buttons and status queue, with the clock handed in.
#include "app/PortSearchDialogState.h"

#include <gtest/gtest.h>

#include "acquisition/PortSearch.h"
#include "app/AppSettings.h"

using acquisition::PortSearch;

namespace {

TEST(PortSearchDialogState, OpensOnTheRememberedPortWithTheLastFoundLine) {
    AppSettings s;
    s.SerialPort = 0;
    s.SerialPortLastSuccessful = 7;
    PortSearchDialogState state;
    state.Open(s);
    EXPECT_EQ(state.selectedPort(), 7);
    EXPECT_EQ(state.lastFoundText(), "DETLINK last found on Port 7");
    EXPECT_EQ(state.statusText(), "");
    EXPECT_FALSE(state.stopEnabled());
    EXPECT_TRUE(state.idleButtonsEnabled());
    s.SerialPortLastSuccessful = 0;
    state.Open(s);
    EXPECT_EQ(state.selectedPort(), 1);
    EXPECT_EQ(state.lastFoundText(), "DETLINK not found previously");
}

TEST(PortSearchDialogState, EachStatusStaysForItsTimeAndNoneIsLost) {
    PortSearchDialogState state(1000);
    state.SearchStarted(0);
    EXPECT_TRUE(state.stopEnabled());
    EXPECT_FALSE(state.idleButtonsEnabled());
    // Four statuses within a few milliseconds of each other.
    state.Status(PortSearch::kTrying, 3, 10);
    state.Status(PortSearch::kNoModule, 3, 12);
    state.Status(PortSearch::kTrying, 4, 13);
    state.Status(PortSearch::kPortNotFound, 4, 15);
    EXPECT_EQ(state.statusText(), "Trying port 3");
    EXPECT_EQ(state.queued(), 3u);
    EXPECT_EQ(state.NextChangeIn(500), 510);
    EXPECT_FALSE(state.Advance(1009));
    EXPECT_EQ(state.statusText(), "Trying port 3");
    EXPECT_TRUE(state.Advance(1010));
    EXPECT_EQ(state.statusText(), "DETLINK not found on port 3");
    // A late tick shows only the next one, which then gets its own full time.
    EXPECT_TRUE(state.Advance(5000));
    EXPECT_EQ(state.statusText(), "Trying port 4");
    EXPECT_FALSE(state.Advance(5999));
    EXPECT_TRUE(state.Advance(6000));
    EXPECT_EQ(state.statusText(), "Com port 4 not found");
    EXPECT_EQ(state.NextChangeIn(6000), -1);
    state.Finished(PortSearch::kPortNotFound);
    EXPECT_FALSE(state.stopEnabled());
    EXPECT_FALSE(state.shouldClose(9000));
    // A status coming after a quiet spell is shown at once.
    state.Select(9, 9000);
    EXPECT_EQ(state.statusText(), "Port 9 selected");
    EXPECT_EQ(state.selectedPort(), 9);
}

TEST(PortSearchDialogState, StopShowsItsWordAtOnceAndLeavesTheDialogIdle) {
    PortSearchDialogState state(1000);
    state.SearchStarted(0);
    state.Status(PortSearch::kTrying, 3, 1);
    state.Status(PortSearch::kNoModule, 3, 2);
    state.Stopped();
    state.Status(PortSearch::kStopped, 4, 3);
    EXPECT_EQ(state.statusText(), "Search stopped by user");
    EXPECT_EQ(state.queued(), 0u);
    state.Finished(PortSearch::kStopped);
    EXPECT_FALSE(state.stopEnabled());
    EXPECT_TRUE(state.idleButtonsEnabled());
    EXPECT_FALSE(state.shouldClose(9000));
    // A new search starts from an empty line.
    state.SearchStarted(4);
    EXPECT_EQ(state.statusText(), "");
    state.Status(PortSearch::kTrying, 5, 5);
    EXPECT_EQ(state.statusText(), "Trying port 5");
}

TEST(PortSearchDialogState, APortFoundClosesOnceItsStatusesHaveBeenRead) {
    PortSearchDialogState state(1000);
    state.SearchStarted(0);
    state.Status(PortSearch::kTrying, 3, 1);
    state.Status(PortSearch::kSuccess, 3, 2);
    state.Finished(3);
    EXPECT_EQ(state.foundPort(), 3);
    EXPECT_EQ(state.selectedPort(), 3);
    EXPECT_FALSE(state.stopEnabled());
    EXPECT_FALSE(state.shouldClose(1000));
    EXPECT_EQ(state.NextChangeIn(500), 501);
    EXPECT_TRUE(state.Advance(1001));
    EXPECT_EQ(state.statusText(), "Success port 3");
    EXPECT_EQ(state.NextChangeIn(1500), 501);
    EXPECT_FALSE(state.shouldClose(2000));
    EXPECT_TRUE(state.shouldClose(2001));
    EXPECT_EQ(state.NextChangeIn(2001), -1);
    // A failed search never closes.
    state.SearchStarted(3000);
    state.Finished(PortSearch::kNoModule);
    EXPECT_FALSE(state.shouldClose(9000));
    EXPECT_EQ(state.NextChangeIn(9000), -1);
}

}  // namespace
