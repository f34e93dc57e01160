#include "platform/FolderNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

std::optional<std::vector<std::string>> plainFileNames(
    const std::string& folder, const std::function<bool(std::string_view)>& wanted,
    bool nonEmptyOnly) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (!wanted(name)) continue;
        const bool known = entry->d_type == DT_REG;
        if (known && !nonEmptyOnly) {
            names.emplace_back(name);
            continue;
        }
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
            continue;
        }
        // A link, a file system that does not say, or a size to look at: the file itself.
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        if (nonEmptyOnly && st.st_size == 0) continue;
        names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

}  // namespace platform
