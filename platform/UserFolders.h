#pragma once
#include <string>
#include <vector>

namespace platform {

// The user's documents folder (XDG documents dir, by default ~/Documents), with no
// trailing slash.
std::string documentsFolder();

// A mounted removable volume offered as a place for the sequence folder.
struct StorageVolume {
    std::string displayName;  // the folder's own name, as the chooser shows it
    std::string rootPath;     // absolute, no trailing slash
};

// Mounted removable volumes (/media/<user>/*, /run/media/<user>/*) whose root exists.
std::vector<StorageVolume> removableVolumes();

}  // namespace platform
