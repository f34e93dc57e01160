// The port list against this machine: port numbers to device paths, the virtual-port
// registry (live and stale entries), and probing a real pseudo-terminal that is held open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "acquisition/PtyPeer.h"
#include "gps/PortList.h"
#include "platform/SerialDevices.h"
#include "platform/SerialLine.h"
#include "platform/SerialPortPaths.h"

using gps::PortList;
using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;

TEST(SerialPortPaths, FixedRanges) {
    EXPECT_EQ(platform::devicePathForPort(1), "/dev/ttyS0");
    EXPECT_EQ(platform::devicePathForPort(32), "/dev/ttyS31");
    EXPECT_EQ(platform::devicePathForPort(33), "/dev/ttyUSB0");
    EXPECT_EQ(platform::devicePathForPort(64), "/dev/ttyUSB31");
    EXPECT_EQ(platform::devicePathForPort(65), "/dev/ttyACM0");
    EXPECT_EQ(platform::devicePathForPort(97), "/dev/rfcomm0");
    EXPECT_EQ(platform::devicePathForPort(128), "/dev/rfcomm31");
    for (int32_t nothing : {0, -1, 129, 199}) EXPECT_EQ(platform::devicePathForPort(nothing), "");
    EXPECT_EQ(platform::portForDevicePath("/dev/ttyUSB0"), 33);
    EXPECT_EQ(platform::portForDevicePath("/dev/ttyACM31"), 96);
    EXPECT_EQ(platform::portForDevicePath("/dev/ttyS32"), 0);
    EXPECT_EQ(platform::portForDevicePath("/dev/ttyS01"), 0);
    EXPECT_EQ(platform::portForDevicePath("/dev/ttyAMA0"), 0);
}

TEST(SerialPortPaths, VirtualPortsComeFromTheRegistry) {
    PrivateRuntimeDir runtime;
    EXPECT_EQ(platform::virtualPortFolder(), runtime.path() + "/zelkora/ports/");
    EXPECT_EQ(platform::devicePathForPort(200), "");
    runtime.registerPort(200, "/dev/pts/77", "DETLINK simulator");
    runtime.registerPort(203, "/dev/pts/78", "gone", 999999999);
    EXPECT_EQ(platform::devicePathForPort(200), "/dev/pts/77");
    EXPECT_EQ(platform::devicePathForPort(203), "");  // its owner is not alive
    const std::vector<platform::SerialDevice> ports = platform::listVirtualPorts();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].friendlyName, "DETLINK simulator");
    EXPECT_EQ(ports[0].kind, platform::SerialKind::Virtual);
}

TEST(SerialDevices, OnlyNumberedDevicesWithHardware) {
    for (const platform::SerialDevice& d : platform::listSerialDevices()) {
        EXPECT_EQ(platform::devicePathForPort(d.port), d.devicePath);
        EXPECT_FALSE(d.friendlyName.empty());
    }
}

TEST(PortListOnThisMachine, ProbingSkipsAPortHeldOpen) {
    PrivateRuntimeDir runtime;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    runtime.registerPort(200, peer.slavePath(), "DETLINK simulator");
    EXPECT_TRUE(PortList::CanOpenPort(200));
    EXPECT_FALSE(PortList::CanOpenPort(201));

    PortList list;
    list.FillProbed(200);
    ASSERT_GE(list.count(), 1);
    EXPECT_EQ(list.entries().back().text, "COM200:DETLINK simulator");
    EXPECT_EQ(list.selectedPort(), 200);

    {
        auto held = platform::openSerialLine(peer.slavePath());
        ASSERT_TRUE(held);
        EXPECT_FALSE(PortList::CanOpenPort(200));
        list.FillProbed(200);
        EXPECT_EQ(list.selectedIndex(), -1);
        list.FillListed(200);
        EXPECT_EQ(list.selectedPort(), 200);
    }
    // Probing does not keep the port: it opens again at once.
    EXPECT_TRUE(PortList::CanOpenPort(200));
    EXPECT_TRUE(PortList::CanOpenPort(200));
}

TEST(SerialDevices, SysfsTreeGivesNumbersKindsAndNames) {
    namespace fs = std::filesystem;
    PrivateRuntimeDir scratch;  // a private folder that is removed afterwards
    const fs::path root = scratch.path();
    const fs::path tty = root / "class/tty";
    const auto file = [](const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text << "\n";
    };
    const auto device = [&](const std::string& name, const fs::path& target) {
        fs::create_directories(tty / name);
        fs::create_directories(target);
        fs::create_directory_symlink(target, tty / name / "device");
    };
    const fs::path usb = root / "devices/usb1";
    file(usb / "1-1/idVendor", "0403");
    file(usb / "1-1/manufacturer", "FTDI");
    file(usb / "1-1/product", "FT232R USB UART");
    device("ttyUSB0", usb / "1-1/1-1:1.0/ttyUSB0");
    file(usb / "1-2/idVendor", "1546");
    file(usb / "1-2/product", "u-blox GNSS receiver");
    device("ttyACM3", usb / "1-2/1-2:1.0");
    device("ttyS0", root / "devices/platform/serial8250");
    file(tty / "ttyS0/type", "4");
    device("ttyS1", root / "devices/platform/serial8250");
    file(tty / "ttyS1/type", "0");  // registered, but no chip answers
    fs::create_directories(tty / "rfcomm0");
    fs::create_directories(tty / "tty0");
    device("ttyAMA0", root / "devices/platform/uart");
    device("ttyUSB40", usb / "1-1/1-1:1.0/ttyUSB40");

    const std::vector<platform::SerialDevice> found = platform::listSerialDevicesIn(tty.string());
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].port, 1);
    EXPECT_EQ(found[0].friendlyName, "ttyS0");
    EXPECT_EQ(found[1].port, 33);
    EXPECT_EQ(found[1].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(found[1].friendlyName, "FTDI FT232R USB UART");
    EXPECT_EQ(found[2].port, 68);
    EXPECT_EQ(found[2].friendlyName, "u-blox GNSS receiver");
    EXPECT_EQ(found[2].kind, platform::SerialKind::Wired);
    EXPECT_EQ(found[3].port, 97);
    EXPECT_EQ(found[3].kind, platform::SerialKind::Bluetooth);
}
