#include <cstdio>

#include "gps/PortList.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool ports [--probe]";

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({}, {"--probe"});
    if (!parsed.parse(args)) return tool::usageError("ports", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Lists the serial ports the port boxes offer, one per line as TEXT<TAB>NUMBER:\n"
            "serial devices with hardware behind them (COM1-32 /dev/ttyS*, COM33-64\n"
            "/dev/ttyUSB*, COM65-96 /dev/ttyACM*), Bluetooth serial ports (COM97-128\n"
            "/dev/rfcomm*) and the virtual ports of running simulators (COM200 and up).\n"
            "With --probe only the ports that can be opened right now are listed.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (!parsed.positional().empty()) {
        return tool::usageError("ports", "no arguments expected", kUsage);
    }
    gps::PortList list;
    if (parsed.has("--probe")) {
        list.FillProbed(-1);
    } else {
        list.FillListed(-1);
    }
    for (const gps::PortEntry& e : list.entries()) {
        std::printf("%s\t%d\n", e.text.c_str(), static_cast<int>(e.itemData));
    }
    return tool::kExitOk;
}

const tool::CommandRegistration registration{
    {"ports", "list the serial ports (COM numbers) with their numbers", &run}};

}  // namespace
