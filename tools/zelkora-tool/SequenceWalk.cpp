#include "tools/zelkora-tool/SequenceWalk.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/AppSettings.h"
#include "display/CallFilter.h"
#include "platform/qt/QtProfileStore.h"
#include "sequence/SequenceFolder.h"

namespace tool {

namespace {

// The folder's sequence files under their names on disk: the folder list itself holds the
// upper-case names, which a case-sensitive file system may not know.
bool appendFolder(const std::string& folder, std::vector<std::string>& out) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return false;
    std::vector<std::string> names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = it->path().filename().string();
        if (SequenceFolder::isSequenceFileName(name)) names.push_back(std::move(name));
    }
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return SequenceFolder::compareNames(SequenceFolder::toUpper(a),
                                            SequenceFolder::toUpper(b)) < 0;
    });
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    for (const std::string& name : names) out.push_back(prefix + name);
    return true;
}

}  // namespace

std::vector<std::string> sequencePaths(const std::vector<std::string>& args, bool& failed) {
    std::vector<std::string> out;
    for (const std::string& arg : args) {
        std::error_code ec;
        if (!std::filesystem::is_directory(arg, ec)) {
            out.push_back(arg);
        } else if (!appendFolder(arg, out)) {
            std::fprintf(stderr, "Cannot open folder %s\n", arg.c_str());
            failed = true;
        }
    }
    return out;
}

bool shownDotsFromSettings(const std::string* levelOption, ShownDots& out, std::string& error) {
    platform::QtProfileStore store;
    appSettings().load(store);
    out.level = appSettings().Z;
    out.fminMhz = appSettings().Fmin;
    out.fmaxMhz = appSettings().Fmax;
    if (levelOption) {
        const std::string& text = *levelOption;
        if (text.size() != 1 || text[0] < '0' || text[0] > '0' + CallFilter::kMaxLevel) {
            error = "--filter must be a level 0 to 5";
            return false;
        }
        out.level = text[0] - '0';
    }
    return true;
}

}  // namespace tool
