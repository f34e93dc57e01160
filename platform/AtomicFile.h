#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Writes the whole of `bytes` to `path` so that a reader, or the file system after a power
// loss, sees either the old file or the complete new one, never a torn or empty file: the
// data goes to a temporary file in the same folder, is flushed to the disk, and is then
// renamed into place. On failure nothing is left behind and `error` says why.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error = nullptr);

// Creates the file only if no file of that name exists (the check and the creation are one
// step), with the same guarantees as writeFileAtomically. Returns false with `exists` set
// when the name was taken.
bool createFileAtomically(const std::string& path, std::span<const uint8_t> bytes, bool* exists,
                          std::string* error = nullptr);

}  // namespace platform
