#pragma once

namespace platform {

// Lets a long-running command-line job end cleanly on SIGINT and SIGTERM: after
// installStopSignalHandlers() those signals only set a flag (and interrupt a blocking wait,
// which then ends early as if timed out), which the job's loop polls with
// stopSignalReceived(). SIGPIPE is ignored, so a closed output pipe shows up as a failed write.
void installStopSignalHandlers();

bool stopSignalReceived();

}  // namespace platform
