#include "platform/SerialDevices.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/SerialPortPaths.h"
#include "platform/VirtualPortRegistry.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

std::string readFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (in) std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// A USB adapter's maker and product, from the USB device above the tty in sysfs.
std::string usbName(const fs::path& ttyDevice) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyDevice, ec);
    if (ec) return {};
    for (int depth = 0; depth < 6 && dir.has_parent_path() && dir != dir.root_path(); ++depth) {
        if (fs::exists(dir / "idVendor", ec)) {
            const std::string maker = readFirstLine(dir / "manufacturer");
            const std::string product = readFirstLine(dir / "product");
            if (!maker.empty() && !product.empty()) return maker + " " + product;
            return maker.empty() ? product : maker;
        }
        dir = dir.parent_path();
    }
    return {};
}

// Built-in UARTs are registered whether a chip answers or not; "type" 0 means none does.
bool uartPresent(const fs::path& ttyDir) {
    const std::string type = readFirstLine(ttyDir / "type");
    return !type.empty() && type != "0";
}

}  // namespace

std::vector<SerialDevice> listSerialDevices() {
    return listSerialDevicesIn("/sys/class/tty");
}

std::vector<SerialDevice> listSerialDevicesIn(const std::string& sysClassTty) {
    std::vector<SerialDevice> devices;
    std::error_code ec;
    const fs::path root(sysClassTty);
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string path = "/dev/" + name;
        const int32_t port = portForDevicePath(path);
        if (port <= 0) continue;
        SerialDevice d;
        d.port = port;
        d.devicePath = path;
        std::error_code linkEc;
        const bool hasDevice = fs::exists(it->path() / "device", linkEc);
        if (name.rfind("rfcomm", 0) == 0) {
            // Bound Bluetooth serial ports have no hardware node of their own.
            d.kind = SerialKind::Bluetooth;
            d.friendlyName = name;
        } else {
            if (!hasDevice) continue;
            if (name.rfind("ttyS", 0) == 0 && !uartPresent(it->path())) continue;
            d.friendlyName = usbName(it->path() / "device");
            if (d.friendlyName.empty()) d.friendlyName = name;
        }
        devices.push_back(std::move(d));
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.port < b.port; });
    return devices;
}

std::string virtualPortFolder() {
    return VirtualPortRegistry::defaultFolder();
}

std::vector<SerialDevice> listVirtualPorts() {
    std::vector<SerialDevice> ports;
    for (VirtualPort& p : VirtualPortRegistry().list()) {
        ports.push_back(SerialDevice{p.number, std::move(p.devicePath), std::move(p.friendlyName),
                                     SerialKind::Virtual});
    }
    return ports;
}

}  // namespace platform
