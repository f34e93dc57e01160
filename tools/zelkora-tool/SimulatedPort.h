#pragma once
#include <cstdint>
#include <string>

#include "platform/PseudoTerminal.h"
#include "platform/VirtualPortRegistry.h"

namespace tool {

// The line a simulator plays its device on: a pseudo-terminal registered as a virtual port
// for as long as this object lives, announced on standard output as "COM<N>: <device path>"
// (scripts and tests read that first line to find the port).
class SimulatedPort {
  public:
    SimulatedPort() = default;
    ~SimulatedPort();
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    // Opens and registers the line under `friendlyName` as port `wanted` (0: the first free
    // one), installs the SIGINT/SIGTERM handlers and prints the first line. With
    // `refuseEarlyWrites`, bytes written before a host first opens the port are refused
    // instead of waiting in the line for the host. False (with a message on standard error
    // naming `command`) on failure.
    bool open(const char* command, const std::string& friendlyName, int32_t wanted,
              bool refuseEarlyWrites);

    platform::PseudoTerminal& line() { return pty_; }
    int32_t number() const { return number_; }

  private:
    platform::PseudoTerminal pty_;
    platform::VirtualPortRegistry registry_;
    int32_t number_ = -1;
};

}  // namespace tool
