#include "gps/PortList.h"

#include <limits>

#include "platform/SerialLine.h"
#include "platform/SerialPortPaths.h"

namespace gps {

namespace {

std::string comName(int32_t port) {
    return "COM" + std::to_string(port) + ":";
}

// Decimal conversion in the manner of the classic to-integer call: leading blanks, an
// optional sign, then digits up to the first other character; 0 when there are none.
// Numbers beyond 32 bits name no port and give 0 as well.
int32_t toInteger(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > std::numeric_limits<int32_t>::max()) return 0;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

PortList::PortList()
    : PortList(Sources{platform::listSerialDevices, platform::listVirtualPorts, CanOpenPort}) {}

PortList::PortList(Sources sources) : sources_(std::move(sources)) {}

void PortList::FillListed(int32_t wanted) {
    probePorts = 0;
    Fill(wanted);
}

void PortList::FillProbed(int32_t wanted) {
    probePorts = 1;
    Fill(wanted);
}

void PortList::append(std::string text) {
    const int32_t port = ParsePortNumber(text);
    if (probePorts != 0 && !(sources_.canOpen && sources_.canOpen(port))) return;
    entries_.push_back(PortEntry{std::move(text), port});
}

void PortList::Fill(int32_t wanted) {
    entries_.clear();
    selected_ = -1;
    wantedPort = wanted;

    std::vector<platform::SerialDevice> devices;
    if (sources_.devices) devices = sources_.devices();
    // Wired ports first, with their friendly names written straight after the colon...
    for (const platform::SerialDevice& d : devices) {
        if (d.kind != platform::SerialKind::Bluetooth) append(comName(d.port) + d.friendlyName);
    }
    // ...then Bluetooth serial ports...
    for (const platform::SerialDevice& d : devices) {
        if (d.kind == platform::SerialKind::Bluetooth) append(comName(d.port) + " MS_BTooth");
    }
    // ...then the virtual ports of this user's simulators and other pseudo-terminals.
    if (sources_.virtualPorts) {
        for (const platform::SerialDevice& d : sources_.virtualPorts()) {
            append(comName(d.port) + d.friendlyName);
        }
    }

    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].itemData == wantedPort) {
            selected_ = static_cast<int32_t>(i);
            break;
        }
    }
}

int32_t PortList::PortNumberAt(int32_t index) const {
    if (index < 0 || index >= count()) return 0;
    return ParsePortNumber(entries_[static_cast<size_t>(index)].text);
}

void PortList::select(int32_t index) {
    selected_ = (index >= 0 && index < count()) ? index : -1;
}

int32_t PortList::selectedPort() const {
    return selected_ < 0 ? -1 : entries_[static_cast<size_t>(selected_)].itemData;
}

int32_t PortList::ParsePortNumber(std::string_view text) {
    const size_t com = text.find("COM");
    const size_t colon = text.find(':');
    if (com == std::string_view::npos || colon == std::string_view::npos || colon < com + 3) {
        return 0;
    }
    return toInteger(text.substr(com + 3, colon - (com + 3)));
}

bool PortList::CanOpenPort(int32_t port) {
    const std::string path = platform::devicePathForPort(port);
    return !path.empty() && platform::canOpenSerialLine(path);
}

}  // namespace gps
