#include "tools/zelkora-tool/SimulatedPort.h"

#include <cstdio>

#include "platform/ProcessPriority.h"
#include "platform/SerialLine.h"
#include "platform/StopSignals.h"

namespace tool {

SimulatedPort::~SimulatedPort() {
    if (number_ >= 0) registry_.unregisterPort(number_);
}

bool SimulatedPort::open(const char* command, const std::string& friendlyName, int32_t wanted,
                         bool refuseEarlyWrites) {
    std::string error;
    if (!pty_.open(&error)) {
        std::fprintf(stderr, "zelkora-tool %s: cannot open a pseudo-terminal: %s\n", command,
                     error.c_str());
        return false;
    }
    // Opening and closing the slave once puts the pair in its hung-up state, in which writes
    // are refused until a host opens the port.
    if (refuseEarlyWrites) platform::canOpenSerialLine(pty_.slavePath());
    number_ = registry_.registerPort(pty_.slavePath(), friendlyName, wanted, &error);
    if (number_ < 0) {
        std::fprintf(stderr, "zelkora-tool %s: cannot register the port: %s\n", command,
                     error.c_str());
        return false;
    }
    platform::installStopSignalHandlers();
    platform::preferPromptScheduling();
    std::printf("COM%d: %s\n", number_, pty_.slavePath().c_str());
    std::fflush(stdout);
    return true;
}

}  // namespace tool
