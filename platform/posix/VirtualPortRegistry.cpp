#include "platform/VirtualPortRegistry.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

// The number a registry file name stands for, or 0 when the name is not a port number in
// its plain decimal form (so "0200" or "200.tmp" are never taken for port 200).
int32_t numberFromName(const char* name) {
    const char* end = name + std::strlen(name);
    if (name == end || *name == '0') return 0;
    int32_t n = 0;
    auto [ptr, ec] = std::from_chars(name, end, n);
    if (ec != std::errc() || ptr != end) return 0;
    if (n < VirtualPortRegistry::kFirstNumber || n > VirtualPortRegistry::kLastNumber) return 0;
    return n;
}

bool processAlive(int64_t pid) {
    if (pid <= 0 || pid > INT32_MAX) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

enum class EntryState { Missing, Live, Stale };

struct Entry {
    EntryState state = EntryState::Missing;
    VirtualPort port;
};

// Reads one registry file. A file without a readable owner line is stale: every registrant
// writes the whole entry while it holds the registry lock, so such a file can only be the
// leftover of a process that died while writing it (or a reader catching a write in
// progress, which then skips it for a moment).
Entry readEntry(const std::string& folder, int32_t number) {
    Entry entry;
    const std::string path = folder + std::to_string(number);
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) return entry;
    char buffer[4096];
    size_t used = 0;
    while (used < sizeof buffer) {
        ssize_t n = ::read(fd.get(), buffer + used, sizeof buffer - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<size_t>(n);
    }
    entry.state = EntryState::Stale;
    std::string_view text(buffer, used);
    std::string_view lines[3];
    for (auto& line : lines) {
        size_t nl = text.find('\n');
        if (nl == std::string_view::npos) {
            line = text;
            text = {};
        } else {
            line = text.substr(0, nl);
            text.remove_prefix(nl + 1);
        }
    }
    int64_t pid = 0;
    auto [ptr, ec] = std::from_chars(lines[2].data(), lines[2].data() + lines[2].size(), pid);
    if (lines[0].empty() || lines[2].empty() || ec != std::errc() ||
        ptr != lines[2].data() + lines[2].size()) {
        return entry;
    }
    entry.port = VirtualPort{number, std::string(lines[0]), std::string(lines[1]), pid};
    if (processAlive(pid)) entry.state = EntryState::Live;
    return entry;
}

// Creates `path` as a folder of mode 0700 if it is missing; it must then be a real folder
// (not a link) owned by this user that nobody else may write into.
bool makePrivateFolder(const std::string& path, std::string* error) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(error, "cannot create " + path + ": " + std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        setError(error, "cannot examine " + path + ": " + std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 0022) != 0) {
        setError(error, path + " is not a private folder of this user");
        return false;
    }
    return true;
}

// Creates the registry folder and the missing folders above it. Every folder this creates
// is private; the registry folder itself (and a base folder under /tmp, which other users
// could have made first) must be private to be used at all.
bool makeRegistryFolder(const std::string& folder, std::string* error) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::vector<std::string> missing;
    for (std::string p = path; !p.empty() && p != "/";) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) == 0) break;
        missing.push_back(p);
        size_t slash = p.rfind('/');
        if (slash == std::string::npos || slash == 0) break;
        p.resize(slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) {
            setError(error, "cannot create " + *it + ": " + std::strerror(errno));
            return false;
        }
    }
    if (path.rfind("/tmp/", 0) == 0) {
        size_t slash = path.find('/', 5);
        if (slash != std::string::npos && !makePrivateFolder(path.substr(0, slash), error)) {
            return false;
        }
    }
    return makePrivateFolder(path, error);
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Holds the registry's lock: registrations (and the removal of stale entries they do) are
// serialised, so two processes can never both remove a stale entry and both take its number.
class RegistryLock {
  public:
    explicit RegistryLock(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_.get() < 0) return;
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) return;
        }
        locked_ = true;
    }
    bool locked() const { return locked_; }

  private:
    Fd fd_;
    bool locked_ = false;
};

}  // namespace

VirtualPortRegistry::VirtualPortRegistry() : folder_(defaultFolder()) {}

VirtualPortRegistry::VirtualPortRegistry(std::string folder)
    : folder_(withSlash(std::move(folder))) {}

std::string VirtualPortRegistry::defaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return withSlash(runtime) + "zelkora/ports/";
    return "/tmp/zelkora-" + std::to_string(::getuid()) + "/ports/";
}

int32_t VirtualPortRegistry::registerPort(const std::string& devicePath,
                                          const std::string& friendlyName, int32_t requested,
                                          std::string* error) {
    if (devicePath.empty() || devicePath.find('\n') != std::string::npos ||
        friendlyName.find('\n') != std::string::npos) {
        setError(error, "the device path and the name must be single lines");
        return -1;
    }
    if (requested != 0 && (requested < kFirstNumber || requested > kLastNumber)) {
        setError(error, "virtual port numbers run from " + std::to_string(kFirstNumber) + " to " +
                            std::to_string(kLastNumber));
        return -1;
    }
    if (!makeRegistryFolder(folder_, error)) return -1;
    RegistryLock lock(folder_);
    if (!lock.locked()) {
        setError(error, "cannot lock " + folder_ + ": " + std::strerror(errno));
        return -1;
    }
    const std::string content =
        devicePath + '\n' + friendlyName + '\n' + std::to_string(::getpid()) + '\n';
    const int32_t first = requested != 0 ? requested : kFirstNumber;
    const int32_t last = requested != 0 ? requested : kLastNumber;
    for (int32_t n = first; n <= last; ++n) {
        const std::string path = folder_ + std::to_string(n);
        Entry existing = readEntry(folder_, n);
        if (existing.state == EntryState::Live) continue;
        if (existing.state == EntryState::Stale) ::unlink(path.c_str());
        Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST) continue;  // a writer that does not take the lock
            setError(error, "cannot create " + path + ": " + std::strerror(errno));
            return -1;
        }
        if (!writeAll(fd.get(), content)) {
            setError(error, "cannot write " + path + ": " + std::strerror(errno));
            ::unlink(path.c_str());
            return -1;
        }
        return n;
    }
    setError(error, requested != 0 ? "COM" + std::to_string(requested) + " is already in use"
                                   : "no free virtual port number");
    return -1;
}

bool VirtualPortRegistry::unregisterPort(int32_t number) {
    if (number < kFirstNumber || number > kLastNumber) return true;
    Entry entry = readEntry(folder_, number);
    if (entry.state == EntryState::Missing) return true;
    if (entry.state == EntryState::Live && entry.port.ownerPid != ::getpid()) return false;
    const std::string path = folder_ + std::to_string(number);
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::vector<VirtualPort> VirtualPortRegistry::list() const {
    std::vector<VirtualPort> ports;
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir) return ports;
    while (dirent* e = ::readdir(dir)) {
        int32_t n = numberFromName(e->d_name);
        if (n == 0) continue;
        Entry entry = readEntry(folder_, n);
        if (entry.state == EntryState::Live) ports.push_back(entry.port);
    }
    ::closedir(dir);
    std::sort(ports.begin(), ports.end(),
              [](const VirtualPort& a, const VirtualPort& b) { return a.number < b.number; });
    return ports;
}

std::optional<VirtualPort> VirtualPortRegistry::lookup(int32_t number) const {
    if (number < kFirstNumber || number > kLastNumber) return std::nullopt;
    Entry entry = readEntry(folder_, number);
    if (entry.state != EntryState::Live) return std::nullopt;
    return entry.port;
}

}  // namespace platform
