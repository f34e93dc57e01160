#include "app/ModuleSearch.h"

#include <atomic>
#include <vector>

#include "gps/PortList.h"

int32_t SearchListedPorts(acquisition::CommFile& port, const AppSettings& settings,
                          const acquisition::PortSearch::StatusNotice& status) {
    gps::PortList list;
    list.FillListed(acquisition::PortSearch::initialPort(settings));
    std::vector<int32_t> ports;
    for (const gps::PortEntry& entry : list.entries()) ports.push_back(entry.itemData);
    std::atomic<int32_t> stop{0};
    const int32_t result = acquisition::PortSearch::search(
        port, ports, acquisition::PortSearch::kWholeList, stop, status);
    return result > 0 ? result : 0;
}
