#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SerialDevices.h"

namespace gps {

// One entry of the port list: its text ("COM5:FTDI FT232R USB UART", "COM98: MS_BTooth")
// and its item data, the port number parsed from the text.
struct PortEntry {
    std::string text;
    int32_t itemData = 0;
};

// The list of serial ports behind the port combo boxes (GPS settings, module port search).
// It holds the entries and the selection; the widget only shows them.
class PortList {
  public:
    // Where the ports come from; the default reads the machine and the virtual-port registry.
    struct Sources {
        std::function<std::vector<platform::SerialDevice>()> devices;
        std::function<std::vector<platform::SerialDevice>()> virtualPorts;
        std::function<bool(int32_t)> canOpen;
    };

    PortList();
    explicit PortList(Sources sources);

    // Lists every port found (FillListed) or only those that open right now (FillProbed),
    // then selects `wanted` if it is listed.
    void FillListed(int32_t wanted);
    void FillProbed(int32_t wanted);
    void Fill(int32_t wanted);

    const std::vector<PortEntry>& entries() const { return entries_; }
    int32_t count() const { return static_cast<int32_t>(entries_.size()); }
    // The port number in the text of entry `index` (0 when it has none or there is no entry).
    int32_t PortNumberAt(int32_t index) const;

    // -1 when nothing is selected.
    int32_t selectedIndex() const { return selected_; }
    void select(int32_t index);
    // The item data of the selected entry, or -1 when nothing is selected.
    int32_t selectedPort() const;

    // The number between the first "COM" and the first ':' ("COM10:" gives 10); 0 without them.
    static int32_t ParsePortNumber(std::string_view text);
    // True when port `port` exists and could be opened exclusively just now.
    static bool CanOpenPort(int32_t port);

    int32_t wantedPort = -1;
    int32_t probePorts = 0;

  private:
    void append(std::string text);

    Sources sources_;
    std::vector<PortEntry> entries_;
    int32_t selected_ = -1;
};

}  // namespace gps
