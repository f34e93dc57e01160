#include "acquisition/ModuleWireEncoder.h"

#include <cassert>

namespace acquisition::wire {

int32_t encodedSize(uint32_t value) {
    int32_t n = 1;
    for (value >>= 7; value != 0; value >>= 7) ++n;
    return n;
}

void appendValue(std::vector<uint8_t>& out, uint32_t value) {
    assert(value != 0);
    out.push_back(static_cast<uint8_t>(0x80u | (value & 0x7Fu)));
    for (value >>= 7; value != 0; value >>= 7) out.push_back(static_cast<uint8_t>(value & 0x7Fu));
}

void appendOverflow(std::vector<uint8_t>& out) {
    out.insert(out.end(), std::begin(kOverflow), std::end(kOverflow));
}

void appendMarker(std::vector<uint8_t>& out) {
    out.insert(out.end(), std::begin(kMarker), std::end(kMarker));
}

bool appendMessage(std::vector<uint8_t>& out, std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return false;
    out.insert(out.end(), std::begin(kMessageStart), std::end(kMessageStart));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(kMessageEnd);
    return true;
}

}  // namespace acquisition::wire
