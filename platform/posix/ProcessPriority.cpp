#include "platform/ProcessPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace platform {

bool preferPromptScheduling() {
    // A nice value well ahead of ordinary work, short of the range kept for the system's own
    // daemons; a refusal leaves the process as it was.
    return ::setpriority(PRIO_PROCESS, 0, -10) == 0;
}

bool yieldToOtherWork() {
    // On Linux a nice value belongs to a thread: the thread's id names it alone.
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10) == 0;
}

}  // namespace platform
