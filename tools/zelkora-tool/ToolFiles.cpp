#include "tools/zelkora-tool/ToolFiles.h"

#include <cstdio>

#include "platform/OutputFile.h"
#include "tools/zelkora-tool/Command.h"

namespace tool {

bool writeOutputBytes(const std::string& out, std::span<const uint8_t> bytes) {
    std::string error;
    if (platform::writeOutputFile(out, bytes, error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

int refuseOutputOverInputs(const char* command, const std::vector<std::string>& outputs,
                           const std::vector<std::string>& inputs) {
    for (const std::string& out : outputs) {
        for (const std::string& in : inputs) {
            if (!platform::isSameFile(out, in)) continue;
            std::fprintf(stderr, "zelkora-tool %s: the output %s is the input %s; refused\n",
                         command, out.c_str(), in.c_str());
            return kExitUsage;
        }
    }
    return kExitOk;
}

}  // namespace tool
