// zelkora-tool export FILE: the dots of a sequence file as CSV.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/SequenceFileInput.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool export FILE";

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({}, {});
    if (!parsed.parse(args)) return tool::usageError("export", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Writes the dots of a sequence file to standard output as CSV with the header\n"
            "index,time_us,frequency_mhz,status: one row per dot from dot 0, the time from the\n"
            "start in microseconds, the frequency in millihertz (0 where none is defined) and\n"
            "the status byte.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().size() != 1) {
        return tool::usageError("export", "exactly one file is needed", kUsage);
    }
    tool::LoadedSequence loaded;
    if (int status = tool::loadSequenceFile(parsed.positional().front(), loaded);
        status != tool::kExitOk) {
        return status;
    }
    const DotStore& d = *loaded.dots;
    std::printf("index,time_us,frequency_mhz,status\n");
    for (int32_t i = 0; i < d.count; ++i) {
        const auto k = static_cast<size_t>(i);
        std::printf("%d,%d,%d,%u\n", i, d.times[k], d.frequency[k],
                    static_cast<unsigned>(d.status[k]));
    }
    return tool::kExitOk;
}

const tool::CommandRegistration registration{
    {"export", "write the dots of a sequence file as CSV", &run}};

}  // namespace
