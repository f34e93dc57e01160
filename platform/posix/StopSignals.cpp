#include "platform/StopSignals.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace platform {

namespace {

volatile sig_atomic_t stopFlag = 0;
// The self-pipe: the handler writes one byte to the write end.
int wakeRead = -1;
int wakeWrite = -1;

extern "C" void onStopSignal(int) {
    const int saved = errno;
    stopFlag = 1;
    if (wakeWrite >= 0) {
        const char byte = 1;
        // A full pipe already wakes the reader: the result does not matter.
        (void)!::write(wakeWrite, &byte, 1);
    }
    errno = saved;
}

void makeWakePipe() {
    if (wakeRead >= 0) return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    wakeRead = fds[0];
    wakeWrite = fds[1];
}

}  // namespace

void installStopSignalHandlers() {
    makeWakePipe();
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction hangUp {};
    if (sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN) {
        sigaction(SIGHUP, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool stopSignalReceived() {
    return stopFlag != 0;
}

int stopSignalDescriptor() {
    return wakeRead;
}

}  // namespace platform
