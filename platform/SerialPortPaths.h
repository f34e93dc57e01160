#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The device behind a port number: 1-32 /dev/ttyS0-31, 33-64 /dev/ttyUSB0-31, 65-96
// /dev/ttyACM0-31, 97-128 /dev/rfcomm0-31 (Bluetooth serial), 200 and up the virtual ports
// of the per-user registry (see SerialDevices.h). Empty when the number means nothing.
std::string devicePathForPort(int32_t port);

// The port number of a device path of the fixed ranges above (0 when it has none).
int32_t portForDevicePath(const std::string& path);

constexpr int32_t kFirstVirtualPort = 200;

}  // namespace platform
