#pragma once

namespace platform {

// Asks the scheduler to serve this process ahead of ordinary work, where the system allows
// it (root or CAP_SYS_NICE); true when it did. A simulator stands in for hardware, which
// answers and paces itself whatever the host is doing; on a busy machine an ordinary process
// would answer the module check late and the host would rightly call the module absent.
bool preferPromptScheduling();

// Lets the calling thread give way to every ordinary thread of the machine (nice 10): for
// work that must never take the processor from a recording, such as a web page's server on a
// board that is also recording. True when it did.
bool yieldToOtherWork();

}  // namespace platform
