#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace acquisition {

// The module's side of the stream format: what a DETLINK module sends after 'G'.
// Values go least significant group first in groups of 7 bits; the first byte of a value has
// bit 7 set, every further byte has it clear, and a value ends where the next one begins.
// Escapes start with 0x80 followed by a byte with bit 7 set, which no value can produce
// because the module never sends the value 0; they are placed between two values only.
namespace wire {

inline constexpr uint8_t kOverflow[3] = {0x80, 0x80, 0x80};
inline constexpr uint8_t kMarker[3] = {0x80, 0xFF, 0x80};
// A message starts with these bytes, carries bytes 0x01..0xFF and ends with 0x00.
inline constexpr uint8_t kMessageStart[3] = {0x80, 0x80, 0x81};
inline constexpr uint8_t kMessageEnd = 0x00;

// The number of bytes `value` takes (1 to 5).
int32_t encodedSize(uint32_t value);

// Appends `value` (1 or more: the module never sends 0, which would read as an escape).
void appendValue(std::vector<uint8_t>& out, uint32_t value);

void appendOverflow(std::vector<uint8_t>& out);
void appendMarker(std::vector<uint8_t>& out);

// Appends a message carrying `text`; its bytes must be 0x01..0xFF (a 0x00 would end it).
// Returns false, appending nothing, when `text` holds a 0x00 byte.
bool appendMessage(std::vector<uint8_t>& out, std::string_view text);

}  // namespace wire
}  // namespace acquisition
