#include "platform/StopSignals.h"

#include <signal.h>

namespace platform {

namespace {

volatile sig_atomic_t stopFlag = 0;

extern "C" void onStopSignal(int) {
    stopFlag = 1;
}

}  // namespace

void installStopSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool stopSignalReceived() {
    return stopFlag != 0;
}

}  // namespace platform
