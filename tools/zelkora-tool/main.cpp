#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/zelkora-tool/Command.h"

namespace {

void printOverview(FILE* out) {
    std::fprintf(out,
                 "usage: zelkora-tool COMMAND [OPTIONS...]\n"
                 "       zelkora-tool COMMAND --help\n\ncommands:\n");
    for (const tool::Command& c : tool::commands()) {
        std::fprintf(out, "  %-16s %s\n", c.name, c.summary);
    }
}

// What a command wrote to standard output must have arrived: a full disk or a closed pipe
// turns any result into a failure, since a script would otherwise take a cut-off listing for
// the whole of it.
int finish(const char* name, int status) {
    const int flushError = std::fflush(stdout) != 0 ? errno : 0;
    if (flushError != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "zelkora-tool %s: cannot write to standard output%s%s\n", name,
                     flushError != 0 ? ": " : "", flushError != 0 ? std::strerror(flushError) : "");
        return tool::kExitFailure;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printOverview(stderr);
        return tool::kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(stdout);
        return finish("help", tool::kExitOk);
    }
    for (const tool::Command& c : tool::commands()) {
        if (name == c.name) {
            std::vector<std::string> args(argv + 2, argv + argc);
            return finish(c.name, c.run(args));
        }
    }
    std::fprintf(stderr, "zelkora-tool: unknown command '%s'\n\n", name.c_str());
    printOverview(stderr);
    return tool::kExitUsage;
}
