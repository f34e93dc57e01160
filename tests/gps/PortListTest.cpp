// The port list's texts, item data, order, probing and selection, on given device lists.
#include "gps/PortList.h"

#include <gtest/gtest.h>

#include <set>

using gps::PortList;
using platform::SerialDevice;
using platform::SerialKind;

namespace {

struct FakeMachine {
    std::vector<SerialDevice> devices{
        {1, "/dev/ttyS0", "Serial Cable", SerialKind::Wired},
        {42, "/dev/ttyUSB9", "FTDI FT232R USB UART", SerialKind::Wired},
        {98, "/dev/rfcomm1", "rfcomm1", SerialKind::Bluetooth},
        {10, "/dev/ttyS9", "ttyS9", SerialKind::Wired},
    };
    std::vector<SerialDevice> virtualPorts{
        {200, "/dev/pts/7", "DETLINK simulator", SerialKind::Virtual},
        {201, "/dev/pts/9", "GPS simulator", SerialKind::Virtual},
    };
    std::set<int32_t> openable{1, 98, 201};
    int probes = 0;

    PortList list() {
        return PortList(PortList::Sources{
            [this] { return devices; },
            [this] { return virtualPorts; },
            [this](int32_t port) {
                ++probes;
                return openable.count(port) > 0;
            },
        });
    }
};

std::vector<std::pair<std::string, int32_t>> shown(const PortList& list) {
    std::vector<std::pair<std::string, int32_t>> out;
    for (const gps::PortEntry& e : list.entries()) out.emplace_back(e.text, e.itemData);
    return out;
}

}  // namespace

TEST(PortList, ListedEntriesTextsAndItemData) {
    FakeMachine machine;
    PortList list = machine.list();
    list.FillListed(42);
    EXPECT_EQ(list.probePorts, 0);
    EXPECT_EQ(machine.probes, 0);
    const std::vector<std::pair<std::string, int32_t>> expected{
        {"COM1:Serial Cable", 1}, {"COM42:FTDI FT232R USB UART", 42}, {"COM10:ttyS9", 10},
        {"COM98: MS_BTooth", 98}, {"COM200:DETLINK simulator", 200},  {"COM201:GPS simulator", 201},
    };
    EXPECT_EQ(shown(list), expected);
    EXPECT_EQ(list.selectedIndex(), 1);
    EXPECT_EQ(list.selectedPort(), 42);
    EXPECT_EQ(list.wantedPort, 42);
    EXPECT_EQ(list.PortNumberAt(2), 10);
    EXPECT_EQ(list.PortNumberAt(6), 0);
    EXPECT_EQ(list.PortNumberAt(-1), 0);
}

TEST(PortList, ProbingLeavesOutPortsThatDoNotOpen) {
    FakeMachine machine;
    PortList list = machine.list();
    list.FillProbed(98);
    EXPECT_EQ(list.probePorts, 1);
    EXPECT_EQ(machine.probes, 6);
    const std::vector<std::pair<std::string, int32_t>> expected{
        {"COM1:Serial Cable", 1}, {"COM98: MS_BTooth", 98}, {"COM201:GPS simulator", 201}};
    EXPECT_EQ(shown(list), expected);
    EXPECT_EQ(list.selectedPort(), 98);
    // A wanted port that is not listed (here: it did not open) leaves nothing selected.
    list.FillProbed(42);
    EXPECT_EQ(list.selectedIndex(), -1);
    EXPECT_EQ(list.selectedPort(), -1);
    // Refilling from the same object without probing lists everything again.
    list.FillListed(42);
    EXPECT_EQ(list.count(), 6);
    EXPECT_EQ(list.selectedPort(), 42);
}

TEST(PortList, EmptyMachineSelectsNothing) {
    PortList list(PortList::Sources{});
    list.FillListed(1);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.selectedIndex(), -1);
    list.select(0);
    EXPECT_EQ(list.selectedIndex(), -1);
}

TEST(PortList, FirstEntryWithTheWantedNumberIsSelected) {
    FakeMachine machine;
    machine.virtualPorts.push_back({1, "/dev/pts/3", "dup", SerialKind::Virtual});
    PortList list = machine.list();
    list.FillListed(1);
    EXPECT_EQ(list.selectedIndex(), 0);
    list.select(3);
    EXPECT_EQ(list.selectedPort(), 98);
}

TEST(PortList, ParsePortNumber) {
    EXPECT_EQ(PortList::ParsePortNumber("COM1:Serial Cable"), 1);
    EXPECT_EQ(PortList::ParsePortNumber("COM8: MS_BTooth"), 8);
    EXPECT_EQ(PortList::ParsePortNumber("COM10:"), 10);
    EXPECT_EQ(PortList::ParsePortNumber("COM200:DETLINK simulator: v2"), 200);
    EXPECT_EQ(PortList::ParsePortNumber("x COM 7:"), 7);
    EXPECT_EQ(PortList::ParsePortNumber("COM12x:"), 12);
    EXPECT_EQ(PortList::ParsePortNumber("BTD1:"), 0);
    EXPECT_EQ(PortList::ParsePortNumber("COM5"), 0);
    EXPECT_EQ(PortList::ParsePortNumber(":COM5"), 0);
    EXPECT_EQ(PortList::ParsePortNumber("COM:"), 0);
    EXPECT_EQ(PortList::ParsePortNumber("COM99999999999:"), 0);
    EXPECT_EQ(PortList::ParsePortNumber(""), 0);
}
