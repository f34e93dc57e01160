#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tool {

// Writes a command's output through platform::OutputFile; false after printing
// "Cannot write file NAME: reason" on standard error.
bool writeOutputBytes(const std::string& out, std::span<const uint8_t> bytes);
template <typename Bytes>
bool writeOutput(const std::string& out, const Bytes& bytes) {
    return writeOutputBytes(out, std::span(reinterpret_cast<const uint8_t*>(bytes.data()),
                                           static_cast<size_t>(bytes.size())));
}

// 0 when no output names one of the inputs; otherwise kExitUsage after saying which. Run
// before any input is read, so nothing is lost by the refusal.
int refuseOutputOverInputs(const char* command, const std::vector<std::string>& outputs,
                           const std::vector<std::string>& inputs);

}  // namespace tool
