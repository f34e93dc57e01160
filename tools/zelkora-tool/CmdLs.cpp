#include <cstdio>

#include "app/AppSettings.h"
#include "platform/qt/QtProfileStore.h"
#include "sequence/SequenceFolder.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/SequenceWalk.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kUsage = "zelkora-tool ls [DIR]";

int run(const std::vector<std::string>& args) {
    tool::ToolArgs parsed({}, {});
    if (!parsed.parse(args)) return tool::usageError("ls", parsed.error(), kUsage);
    if (parsed.helpRequested()) {
        std::printf(
            "usage: %s\n\n"
            "Lists the sequence files of DIR (default: the sequence folder of the settings)\n"
            "in browsing order, which is the order of their start times, one per line.\n"
            "A folder without any says so on standard error, naming the newest folder in it.\n",
            kUsage);
        return tool::kExitOk;
    }
    if (parsed.positional().size() > 1) return tool::usageError("ls", "at most one folder", kUsage);

    std::string folder;
    if (parsed.positional().empty()) {
        platform::QtProfileStore store;
        appSettings().load(store);
        folder = appSettings().GPath;
    } else {
        folder = parsed.positional().front();
    }
    SequenceFolder list;
    if (list.scan(folder) < 0) {
        std::fprintf(stderr, "Cannot open folder %s\n", folder.c_str());
        return tool::kExitBadFile;
    }
    // An empty listing of a station's folder of nights would leave the user guessing.
    if (list.names().empty()) tool::sayNoneIn(folder, "sequence file");
    for (const std::string& name : list.names()) std::printf("%s\n", name.c_str());
    return tool::kExitOk;
}

const tool::CommandRegistration registration{
    {"ls", "list the sequence files of a folder in browsing order", &run}};

}  // namespace
