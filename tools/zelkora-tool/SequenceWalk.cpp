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

namespace {

bool appendFolder(const std::string& folder, std::vector<std::string>& out) {
    SequenceFolder list;
    if (list.scan(folder) < 0) return false;
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    for (const std::string& name : list.names()) out.push_back(prefix + name);
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

std::vector<std::string> recordingPaths(const std::vector<std::string>& args, bool& failed) {
    std::vector<std::string> out;
    for (const std::string& arg : args) {
        std::error_code ec;
        if (!std::filesystem::is_directory(arg, ec)) {
            out.push_back(arg);
            continue;
        }
        std::vector<std::string> names;
        for (std::filesystem::directory_iterator it(arg, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::string extension = it->path().extension().string();
            for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::error_code typeError;
            if ((extension == ".wav" || extension == ".flac") && it->is_regular_file(typeError)) {
                names.push_back(it->path().filename().string());
            }
        }
        if (ec) {
            std::fprintf(stderr, "Cannot open folder %s\n", arg.c_str());
            failed = true;
            continue;
        }
        if (names.empty()) std::fprintf(stderr, "No WAV or FLAC file in %s\n", arg.c_str());
        std::sort(names.begin(), names.end());
        const std::string prefix = arg.ends_with('/') ? arg : arg + "/";
        for (const std::string& name : names) out.push_back(prefix + name);
    }
    return out;
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
