#include "tools/zelkora-tool/SequenceWalk.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "app/AppSettings.h"
#include "display/CallFilter.h"
#include "platform/qt/QtProfileStore.h"
#include "sequence/SequenceFolder.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace tool {

// Said of a folder that holds none of what a command reads (`kind`). A station's or a
// season's folder holds its nights as folders of their own, which are not read into: the
// newest of them is named, so that the user sees where the files are.
void sayNoneIn(const std::string& folder, const char* kind) {
    std::string newest;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (it->is_directory(typeError) && !name.starts_with('.') && name > newest) newest = name;
    }
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    std::fprintf(stderr, "No %s in %s%s%s%s\n", kind, folder.c_str(),
                 newest.empty() ? "" : " (its folders are not read into: give one, as ",
                 newest.empty() ? "" : (prefix + newest).c_str(), newest.empty() ? "" : ")");
}

namespace {

// The names a folder stands for, as given by `names` (false: the folder cannot be read), each
// joined to the folder; a file as given.
template <typename Names>
std::vector<std::string> expandFolders(const std::vector<std::string>& args, bool& failed,
                                       const char* kind, Names names) {
    std::vector<std::string> out;
    for (const std::string& arg : args) {
        std::error_code ec;
        std::vector<std::string> found;
        if (!std::filesystem::is_directory(arg, ec)) {
            out.push_back(arg);
        } else if (!names(arg, found)) {
            std::fprintf(stderr, "Cannot open folder %s\n", arg.c_str());
            failed = true;
        } else if (found.empty()) {
            sayNoneIn(arg, kind);
        } else {
            const std::string prefix = arg.ends_with('/') ? arg : arg + "/";
            for (const std::string& name : found) out.push_back(prefix + name);
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> sequencePaths(const std::vector<std::string>& args, bool& failed) {
    return expandFolders(args, failed, "sequence file", [](const std::string& folder, auto& names) {
        SequenceFolder list;
        if (list.scan(folder) < 0) return false;
        names = list.names();
        return true;
    });
}

std::vector<std::string> recordingPaths(const std::vector<std::string>& args, bool& failed) {
    return expandFolders(
        args, failed, "WAV or FLAC file", [](const std::string& folder, auto& names) {
            std::error_code ec;
            for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
                 it.increment(ec)) {
                std::string extension = it->path().extension().string();
                for (char& c : extension)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                std::error_code typeError;
                if ((extension == ".wav" || extension == ".flac") &&
                    it->is_regular_file(typeError)) {
                    names.push_back(it->path().filename().string());
                }
            }
            if (ec) return false;
            std::sort(names.begin(), names.end());
            return true;
        });
}

bool shownDotsFromSettings(ToolArgs& options, ShownDots& out, std::string& error) {
    platform::QtProfileStore store;
    appSettings().load(store);
    out.level = appSettings().Z;
    out.fminMhz = appSettings().Fmin;
    out.fmaxMhz = appSettings().Fmax;
    if (const std::optional<std::string> text = options.value("--filter")) {
        if (text->size() != 1 || (*text)[0] < '0' || (*text)[0] > '0' + CallFilter::kMaxLevel) {
            error = "--filter must be a level 0 to 5";
            return false;
        }
        out.level = (*text)[0] - '0';
    }
    const auto fmin = options.integer("--fmin", out.fminMhz / 1000000, 1, 2000);
    const auto fmax = options.integer("--fmax", out.fmaxMhz / 1000000, 1, 2000);
    if (!fmin || !fmax) {
        error = options.error();
        return false;
    }
    const bool given = options.value("--fmin") || options.value("--fmax");
    if (options.value("--fmin")) out.fminMhz = static_cast<int32_t>(*fmin * 1000000);
    if (options.value("--fmax")) out.fmaxMhz = static_cast<int32_t>(*fmax * 1000000);
    if (given && out.fminMhz >= out.fmaxMhz) {
        error = "--fmin must lie below --fmax";
        return false;
    }
    return true;
}

}  // namespace tool
