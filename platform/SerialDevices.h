#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class SerialKind { Wired, Bluetooth, Virtual };

struct SerialDevice {
    int32_t port = 0;          // the number the rest of the program knows it by
    std::string devicePath;    // e.g. /dev/ttyUSB0
    std::string friendlyName;  // maker and product of a USB adapter, or the device's name
    SerialKind kind = SerialKind::Wired;
};

// The machine's serial devices with hardware behind them (built-in UARTs that are present,
// USB adapters, bound Bluetooth serial ports), in port-number order. Devices outside the
// numbered ranges of SerialPortPaths.h are left out.
std::vector<SerialDevice> listSerialDevices();
// The same from another copy of the tty class folder (for tests).
std::vector<SerialDevice> listSerialDevicesIn(const std::string& sysClassTty);

// The live entries of the per-user virtual-port registry, in port-number order. The
// registry is the folder $XDG_RUNTIME_DIR/zelkora/ports/ (/tmp/zelkora-<uid>/ports/ without
// XDG_RUNTIME_DIR), one file per port named by its number and holding three lines: device
// path, friendly name, owner's process id. An entry whose owner is gone is stale and absent.
std::vector<SerialDevice> listVirtualPorts();

// The registry folder named above (with a trailing '/'); it may not exist.
std::string virtualPortFolder();

}  // namespace platform
