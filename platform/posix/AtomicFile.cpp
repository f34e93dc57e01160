#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace platform {

namespace {

void setError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

// Writes the bytes to a fresh temporary file beside `path` and flushes it. Returns the
// temporary file's name, or an empty string on failure (with nothing left behind).
std::string writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                           std::string* error) {
    std::string tmpl = path + ".tmpXXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd < 0) {
        setError(error, "cannot create temporary file for " + path);
        return {};
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            setError(error, "cannot write " + path);
            ::close(fd);
            ::unlink(tmpl.c_str());
            return {};
        }
        done += static_cast<size_t>(n);
    }
    // Sequence files are small and rare; the flush is what makes a night's files survive a
    // power cut.
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
        setError(error, "cannot flush " + path);
        ::close(fd);
        ::unlink(tmpl.c_str());
        return {};
    }
    if (::close(fd) != 0) {
        setError(error, "cannot close " + path);
        ::unlink(tmpl.c_str());
        return {};
    }
    return tmpl;
}

void syncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error) {
    std::string tmp = writeTemporary(path, bytes, error);
    if (tmp.empty()) return false;
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        setError(error, "cannot rename into " + path);
        ::unlink(tmp.c_str());
        return false;
    }
    syncFolderOf(path);
    return true;
}

bool createFileAtomically(const std::string& path, std::span<const uint8_t> bytes, bool* exists,
                          std::string* error) {
    if (exists) *exists = false;
    std::string tmp = writeTemporary(path, bytes, error);
    if (tmp.empty()) return false;
    // link() fails with EEXIST instead of replacing, so a file that appeared meanwhile is
    // never overwritten.
    if (::link(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        errno = err;
        if (err == EEXIST) {
            if (exists) *exists = true;
            if (error) *error = path + " exists";
        } else {
            setError(error, "cannot create " + path);
        }
        return false;
    }
    ::unlink(tmp.c_str());
    syncFolderOf(path);
    return true;
}

}  // namespace platform
