#pragma once
// Building RIFF/WAVE files byte by byte, for the import's tests.
#include <cstdint>
#include <string>

namespace testing_support {

inline void put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v));
    out.push_back(static_cast<char>(v >> 8));
}
inline void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
// One chunk, padded to an even length as RIFF wants.
inline std::string chunk(const std::string& id, const std::string& body) {
    std::string c = id;
    put32(c, static_cast<uint32_t>(body.size()));
    c += body;
    if (body.size() & 1) c.push_back('\0');
    return c;
}
// A WAVE file of the given chunks.
inline std::string riff(const std::string& chunks) {
    std::string r = "RIFF";
    put32(r, static_cast<uint32_t>(4 + chunks.size()));
    return r + "WAVE" + chunks;
}

}  // namespace testing_support
