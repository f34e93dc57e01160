#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// True when the volume that holds `folder` has no room left for a file of `bytes` bytes (too
// few free blocks, or no free file entries). A write that failed there failed for want of
// space, which the user can mend by freeing some; false when the volume cannot be asked.
bool volumeIsFull(const std::string& folder, uint64_t bytes);

// The bytes an unprivileged program can still write on the volume that holds `folder`;
// nullopt when the volume cannot be asked.
std::optional<uint64_t> freeBytes(const std::string& folder);

}  // namespace platform
