#pragma once

namespace platform {

// Lets a long-running job end cleanly on SIGINT, SIGTERM and SIGHUP (logout, shutdown, a
// closed terminal): after installStopSignalHandlers() those signals only set a flag (and
// interrupt a blocking wait, which then ends early as if timed out), which the job's loop
// polls with stopSignalReceived(). SIGHUP is left alone when it is ignored already (a job
// started under nohup keeps running). SIGPIPE is ignored, so a closed output pipe shows up
// as a failed write.
void installStopSignalHandlers();

bool stopSignalReceived();

// A descriptor that becomes readable when a stop signal arrives, for an event loop that
// waits on descriptors rather than polling the flag; -1 before installStopSignalHandlers().
// Reading it is not needed: it stays readable once a signal came.
int stopSignalDescriptor();

}  // namespace platform
