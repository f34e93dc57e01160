#include "platform/SerialPortPaths.h"

#include <array>
#include <charconv>
#include <string_view>

#include "platform/VirtualPortRegistry.h"

namespace platform {

namespace {

struct Range {
    int32_t first;
    std::string_view prefix;
};

// Thirty-two devices per kind, numbered as a well-known compatibility layer numbers them.
constexpr std::array<Range, 4> kRanges{{
    {1, "/dev/ttyS"},
    {33, "/dev/ttyUSB"},
    {65, "/dev/ttyACM"},
    {97, "/dev/rfcomm"},
}};
constexpr int32_t kPerRange = 32;

}  // namespace

std::string devicePathForPort(int32_t port) {
    for (const Range& r : kRanges) {
        if (port >= r.first && port < r.first + kPerRange) {
            return std::string(r.prefix) + std::to_string(port - r.first);
        }
    }
    if (port >= kFirstVirtualPort) {
        if (auto entry = VirtualPortRegistry().lookup(port)) return entry->devicePath;
    }
    return {};
}

int32_t portForDevicePath(const std::string& path) {
    for (const Range& r : kRanges) {
        if (path.size() <= r.prefix.size() || path.compare(0, r.prefix.size(), r.prefix) != 0) {
            continue;
        }
        const char* begin = path.data() + r.prefix.size();
        const char* end = path.data() + path.size();
        int32_t index = -1;
        auto [ptr, ec] = std::from_chars(begin, end, index);
        if (ec == std::errc() && ptr == end && index >= 0 && index < kPerRange &&
            (index == 0 || *begin != '0')) {
            return r.first + index;
        }
    }
    return 0;
}

}  // namespace platform
