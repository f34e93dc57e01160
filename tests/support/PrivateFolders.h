#pragma once
// The settings and run-time folders a test's programs use, its own under a folder of its
// own, as a fresh user has them.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace testing_support {

// Points the settings (XDG_CONFIG_HOME) and run-time (XDG_RUNTIME_DIR, private to the user as
// the system makes it) folders at `root`/config and `root`/run; `settings`, when given, is
// the text of the program's settings file there ("[Zelkora]" and its lines).
inline void usePrivateFolders(const std::filesystem::path& root, const std::string& settings = {}) {
    namespace fs = std::filesystem;
    fs::create_directories(root / "run");
    fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directories(root / "config" / "Chirova");
    if (!settings.empty()) std::ofstream(root / "config" / "Chirova" / "zelkora.ini") << settings;
    ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
}

}  // namespace testing_support
