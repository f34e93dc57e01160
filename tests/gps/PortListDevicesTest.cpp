// The port list against this machine: port numbers to device paths, the virtual-port
// registry (live and stale entries), and probing a real pseudo-terminal that is held open.
#include <gtest/gtest.h>

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
