#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>  // renameat2
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/posix/FileSync.h"

namespace platform {

namespace {

constexpr const char* kTemporaryInfix = ".tmp";
constexpr size_t kTemporaryRandomLength = 6;  // the XXXXXX of mkstemp

PublishCalls& installedCalls() {
    static PublishCalls calls;
    return calls;
}

int callLink(const char* from, const char* to) {
    const PublishCalls& calls = installedCalls();
    return calls.link ? calls.link(from, to) : ::link(from, to);
}

int callRenameNoReplace(const char* from, const char* to) {
    const PublishCalls& calls = installedCalls();
    return calls.renameNoReplace ? calls.renameNoReplace(from, to)
                                 : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int callRename(const char* from, const char* to) {
    const PublishCalls& calls = installedCalls();
    return calls.rename ? calls.rename(from, to) : ::rename(from, to);
}

// How a file system says it has no hard links at all (FAT and exFAT: EPERM; some FUSE
// drivers: ENOSYS or EOPNOTSUPP), as opposed to this one link having failed.
bool hasNoHardLinks(int err) {
    return err == EPERM || err == ENOSYS || err == EOPNOTSUPP;
}

// How renameat2 says it does not know RENAME_NOREPLACE: FUSE drivers without their own
// rename2 give EINVAL, kernels or C libraries without renameat2 ENOSYS.
bool hasNoRenameFlags(int err) {
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

void setError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

bool reportTaken(const std::string& path, bool* exists, std::string* error) {
    if (exists) *exists = true;
    if (error) *error = path + " exists";
    return false;
}

// Writes the bytes to a fresh temporary file beside `path` and flushes it. Returns the
// temporary file's name, or an empty string on failure (with nothing left behind).
std::string writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                           std::string* error) {
    std::string tmpl = path + kTemporaryInfix + std::string(kTemporaryRandomLength, 'X');
    int fd = mkstemp(tmpl.data());
    if (fd < 0) {
        setError(error, "cannot create temporary file for " + path);
        return {};
    }
    if (posix::writeAll(fd, bytes) != 0) {
        setError(error, "cannot write " + path);
        ::close(fd);
        ::unlink(tmpl.c_str());
        return {};
    }
    // mkstemp makes the file private; a sequence file is for everyone to read. File systems
    // without permissions (FAT through FUSE answers ENOSYS) keep their mount's modes, so a
    // refusal here costs nothing.
    (void)::fchmod(fd, 0644);
    // Sequence files are small and rare; the flush is what makes a night's files survive a
    // power cut.
    if (::fsync(fd) != 0) {
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

// True while `path` is still the empty file this process created as `claim`.
bool isOurClaim(const std::string& path, const struct stat& claim) {
    struct stat now {};
    return ::lstat(path.c_str(), &now) == 0 && S_ISREG(now.st_mode) && now.st_size == 0 &&
           now.st_dev == claim.st_dev && now.st_ino == claim.st_ino;
}

// The last resort, for file systems that can neither link nor rename without replacing
// (FAT and exFAT through FUSE). The name is claimed with an exclusive create, which every
// file system has, and the complete temporary file is then renamed over that empty claim.
// Nothing but our own claim is ever replaced, and at every moment the data is complete
// under one of the two names.
//
// What is left to chance: a power cut between the claim and the rename leaves an empty file
// under the final name beside the complete temporary file, and on FAT a rename over a name
// is itself an unlink and a rename, so a cut between those leaves the temporary file alone.
// The next folder check recovers both states: it publishes a temporary file older than a
// minute, taking the place of an empty claim (OrphanRecovery in sequence/). FAT has
// no journal, so a cut in the middle of a directory update can still damage the directory
// itself; that is for fsck, whatever order the steps take.
bool publishOverClaim(const std::string& from, const std::string& to, bool* exists,
                      std::string* error) {
    // The temporary file's own entry must be on the disk before an empty file under the
    // final name can be: a claim without data beside it could not be recovered.
    posix::syncFolderOf(to);
    int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return reportTaken(to, exists, error);
        setError(error, "cannot create " + to);
        return false;
    }
    struct stat claim {};
    const bool known = ::fstat(fd, &claim) == 0;
    ::close(fd);
    if (!known) {
        setError(error, "cannot create " + to);
        ::unlink(to.c_str());
        return false;
    }
    // Another writer that replaced the claim meanwhile owns the name now.
    if (!isOurClaim(to, claim)) return reportTaken(to, exists, error);
    if (callRename(from.c_str(), to.c_str()) != 0) {
        const int err = errno;
        if (isOurClaim(to, claim)) ::unlink(to.c_str());
        errno = err;
        setError(error, "cannot rename into " + to);
        return false;
    }
    posix::syncFolderOf(to);
    return true;
}

}  // namespace

bool publishFile(const std::string& from, const std::string& to, bool* exists, std::string* error) {
    if (exists) *exists = false;
    // A hard link fails with EEXIST instead of replacing, so a file that appeared meanwhile
    // is never overwritten. File systems without hard links are asked for the same through
    // the rename flag, and failing that through the claim.
    if (callLink(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        posix::syncFolderOf(to);
        return true;
    }
    if (errno == EEXIST) return reportTaken(to, exists, error);
    if (!hasNoHardLinks(errno)) {
        setError(error, "cannot create " + to);
        return false;
    }
    if (callRenameNoReplace(from.c_str(), to.c_str()) == 0) {
        posix::syncFolderOf(to);
        return true;
    }
    if (errno == EEXIST) return reportTaken(to, exists, error);
    if (!hasNoRenameFlags(errno)) {
        setError(error, "cannot rename into " + to);
        return false;
    }
    return publishOverClaim(from, to, exists, error);
}

bool createFileAtomically(const std::string& path, std::span<const uint8_t> bytes, bool* exists,
                          std::string* error) {
    std::string tmp = writeTemporary(path, bytes, error);
    if (tmp.empty()) {
        if (exists) *exists = false;
        return false;
    }
    if (publishFile(tmp, path, exists, error)) return true;
    const int err = errno;
    ::unlink(tmp.c_str());
    errno = err;
    return false;
}

std::string publishedNameOf(const std::string& fileName) {
    const size_t infix = std::strlen(kTemporaryInfix);
    const size_t suffix = infix + kTemporaryRandomLength;
    if (fileName.size() <= suffix) return {};
    const size_t at = fileName.size() - suffix;
    if (fileName.compare(at, infix, kTemporaryInfix) != 0) return {};
    for (size_t i = at + infix; i < fileName.size(); ++i) {
        const char c = fileName[i];
        const bool alphanumeric =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alphanumeric) return {};
    }
    return fileName.substr(0, at);
}

PublishCalls setPublishCalls(PublishCalls calls) {
    return std::exchange(installedCalls(), std::move(calls));
}

}  // namespace platform
