#include "platform/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool InputFile::open(const std::string& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // A look before the open keeps devices from being opened at all; the non-blocking open
    // and the second look close the gap in which the name could be replaced by a FIFO.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

int64_t InputFile::read(std::span<uint8_t> bytes) {
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, bytes.data(), bytes.size());
        if (n >= 0) return n;
        if (errno != EINTR) return -1;
    }
}

bool readRegularFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    InputFile file;
    if (!file.open(path)) return false;
    bytes.resize(limit);
    size_t filled = 0;
    while (filled < limit) {
        const int64_t n = file.read(std::span<uint8_t>(bytes).subspan(filled));
        if (n < 0) return false;
        if (n == 0) break;
        filled += static_cast<size_t>(n);
    }
    bytes.resize(filled);
    return true;
}

}  // namespace platform
