#include "platform/FreeSpace.h"

#include <sys/statvfs.h>

namespace platform {

namespace {

// A new file also takes a directory entry, a temporary name beside it and whole blocks; a
// volume this close to its end counts as full.
constexpr uint64_t kHeadroomBytes = 64 * 1024;

}  // namespace

std::optional<uint64_t> freeBytes(const std::string& folder) {
    struct statvfs fs {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return std::nullopt;
    const uint64_t blockSize = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    return static_cast<uint64_t>(fs.f_bavail) * blockSize;
}

bool volumeIsFull(const std::string& folder, uint64_t bytes) {
    struct statvfs fs {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return false;
    const uint64_t blockSize = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    const uint64_t freeBytes = static_cast<uint64_t>(fs.f_bavail) * blockSize;
    // Volumes without a file table of their own (FAT through FUSE) report no entries at all.
    const bool noEntries = fs.f_files != 0 && fs.f_favail == 0;
    return noEntries || freeBytes < bytes + kHeadroomBytes;
}

}  // namespace platform
