#include "platform/ProcessPriority.h"

#include <sys/resource.h>

namespace platform {

bool preferPromptScheduling() {
    // A nice value well ahead of ordinary work, short of the range kept for the system's own
    // daemons; a refusal leaves the process as it was.
    return ::setpriority(PRIO_PROCESS, 0, -10) == 0;
}

}  // namespace platform
