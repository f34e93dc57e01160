#include "app/ModuleSearch.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "app/AppSettings.h"
#include "gps/PortList.h"

int32_t SearchListedPorts(acquisition::CommFile& port, const AppSettings& settings,
                          const acquisition::PortSearch::StatusNotice& status) {
    gps::PortList list;
    list.FillListed(acquisition::PortSearch::initialPort(settings));
    std::vector<int32_t> ports;
    for (const gps::PortEntry& entry : list.entries()) ports.push_back(entry.itemData);
    // A port asked for that the list does not hold (one not plugged in, or not registered) is
    // tried first, so that the notices speak of the port the user named.
    const int32_t requested = settings.SerialPort;
    if (requested > 0 && std::find(ports.begin(), ports.end(), requested) == ports.end()) {
        ports.insert(ports.begin(), requested);
    }
    std::atomic<int32_t> stop{0};
    const int32_t result = acquisition::PortSearch::search(
        port, ports, acquisition::PortSearch::kWholeList, stop, status);
    return result > 0 ? result : 0;
}
