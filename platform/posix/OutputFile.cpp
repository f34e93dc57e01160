#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/posix/FileSync.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

// The descriptor a name of this process's own open files stands for (/dev/stdout,
// /dev/fd/1, /proc/self/fd/1). Opening such a name afresh would start a regular file at its
// first byte, or replace the file a shell's redirection opened; the descriptor itself is
// what the user meant.
std::optional<int> ownDescriptor(const std::string& name) {
    // "-" is standard output to every shell user; a file of that name would land unseen in
    // the working folder while the terminal stays empty. "./-" still names such a file.
    if (name == "-" || name == "/dev/stdout") return 1;
    if (name == "/dev/stderr") return 2;
    const std::string ownProc = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string prefix :
         {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/", ownProc.c_str()}) {
        if (name.rfind(prefix, 0) != 0) continue;
        char* end = nullptr;
        const long fd = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (end != name.c_str() + prefix.size() && *end == '\0' && fd >= 0 && fd < 65536) {
            return static_cast<int>(fd);
        }
    }
    return std::nullopt;
}

}  // namespace

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::fail(const std::string& path, int err) {
    error_ = "Cannot write file " + path + ": " + std::strerror(err);
    failed_ = true;
    return false;
}

bool OutputFile::open(const std::string& path) {
    discard();
    path_ = path;
    error_.clear();
    failed_ = false;
    direct_ = false;
    if (path.empty()) return fail(path, ENOENT);

    // Links are followed by hand: the renamed file must land where the last link points, and
    // a link into this process's descriptors means one of them.
    std::error_code ec;
    fs::path named = path;
    for (int depth = 0; depth < 40; ++depth) {
        if (const auto fd = ownDescriptor(named.string())) {
            fd_ = ::fcntl(*fd, F_DUPFD_CLOEXEC, 3);
            if (fd_ < 0) return fail(path, errno);
            direct_ = true;
            return true;
        }
        if (!fs::is_symlink(fs::symlink_status(named, ec))) break;
        const fs::path next = fs::read_symlink(named, ec);
        if (ec) break;
        named = next.is_absolute() ? next : named.parent_path() / next;
    }
    struct stat st {};
    if (::stat(named.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) return fail(path, EISDIR);
        if (S_ISSOCK(st.st_mode)) return connectTo(named.string());
        // A FIFO waits here for its reader, as a shell's redirection would.
        fd_ = ::open(named.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return fail(path, errno);
        direct_ = true;
        return true;
    }
    target_ = named.string();
    std::string tmpl = target_ + ".tmpXXXXXX";
    fd_ = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd_ < 0) return fail(path, errno);
    temporary_ = tmpl;
    // mkstemp makes the file private. A file replaced keeps its permissions; a new one is for
    // everyone to read, as the other files the programs write.
    const mode_t mode = S_ISREG(st.st_mode) ? (st.st_mode & 07777) : 0644;
    (void)::fchmod(fd_, mode);
    return true;
}

bool OutputFile::connectTo(const std::string& socketPath) {
    // A listening socket takes the bytes as a stream; nothing can be opened by its name.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return fail(path_, ENAMETOOLONG);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return fail(path_, errno);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int err = errno;
        discard();
        return fail(path_, err);
    }
    direct_ = true;
    return true;
}

bool OutputFile::write(std::span<const uint8_t> bytes) {
    if (fd_ < 0 || failed_) return false;
    if (const int err = posix::writeAll(fd_, bytes)) return fail(path_, err);
    return true;
}

bool OutputFile::commit() {
    if (fd_ < 0) {
        if (error_.empty()) fail(path_, EBADF);
        return false;
    }
    if (failed_) {
        discard();
        return false;
    }
    if (direct_) {
        // Pipes, terminals and most devices cannot be flushed and say so; that is no fault.
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) {
            fail(path_, errno);
        }
        if (::close(fd_) != 0 && !failed_) fail(path_, errno);
        fd_ = -1;
        return !failed_;
    }
    // The data reaches the disk before the name does: after a power cut the name holds the
    // old file or the whole new one.
    if (::fsync(fd_) != 0) {
        fail(path_, errno);
        discard();
        return false;
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail(path_, errno);
        discard();
        return false;
    }
    temporary_.clear();
    posix::syncFolderOf(target_);
    return true;
}

void OutputFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool writeOutputFile(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    OutputFile out;
    if (out.open(path) && out.write(bytes) && out.commit()) return true;
    error = out.error();
    return false;
}

bool isSameFile(const std::string& output, const std::string& input) {
    struct stat a {
    }, b{};
    if (::stat(output.c_str(), &a) != 0 || ::stat(input.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace platform
