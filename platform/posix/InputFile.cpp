#include "platform/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

int InputFile::duplicate() const {
    return fd_ < 0 ? -1 : ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
}

int64_t InputFile::seek(int64_t offset, int whence) {
    if (fd_ < 0) return -1;
    return ::lseek(fd_, static_cast<off_t>(offset), whence);
}

InputStream::InputStream() : std::istream(&buffer_) {
    setstate(std::ios_base::failbit);
}

bool InputStream::open(const std::string& path) {
    const bool opened = buffer_.file.open(path);
    clear(opened ? std::ios_base::goodbit : std::ios_base::failbit);
    return opened;
}

InputStream::Buffer::int_type InputStream::Buffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const int64_t n = file.read(std::span(reinterpret_cast<uint8_t*>(data_.data()), data_.size()));
    if (n <= 0) return traits_type::eof();
    setg(data_.data(), data_.data(), data_.data() + n);
    return traits_type::to_int_type(*gptr());
}

InputStream::Buffer::pos_type InputStream::Buffer::seekoff(off_type offset,
                                                           std::ios_base::seekdir dir,
                                                           std::ios_base::openmode) {
    int64_t at = -1;
    if (dir == std::ios_base::cur) {
        // The file's position is ahead of the reader by what is still buffered.
        at = file.seek(static_cast<int64_t>(offset) - (egptr() - gptr()), SEEK_CUR);
    } else {
        at = file.seek(offset, dir == std::ios_base::beg ? SEEK_SET : SEEK_END);
    }
    setg(data_.data(), data_.data(), data_.data());
    return at < 0 ? pos_type(off_type(-1)) : pos_type(at);
}

InputStream::Buffer::pos_type InputStream::Buffer::seekpos(pos_type position,
                                                           std::ios_base::openmode which) {
    return seekoff(off_type(position), std::ios_base::beg, which);
}

bool readRegularFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    InputFile file;
    if (!file.open(path)) return false;
    // Grown as the file turns out to be long: the limit may be far beyond any real file.
    constexpr size_t kChunk = 1 << 16;
    bytes.clear();
    size_t filled = 0;
    while (filled < limit) {
        bytes.resize(filled + std::min(kChunk, limit - filled));
        const int64_t n = file.read(std::span<uint8_t>(bytes).subspan(filled));
        if (n < 0) return false;
        if (n == 0) break;
        filled += static_cast<size_t>(n);
    }
    bytes.resize(filled);
    return true;
}

}  // namespace platform
