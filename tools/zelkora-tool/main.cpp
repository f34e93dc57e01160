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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printOverview(stderr);
        return tool::kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(stdout);
        return tool::kExitOk;
    }
    for (const tool::Command& c : tool::commands()) {
        if (name == c.name) {
            std::vector<std::string> args(argv + 2, argv + argc);
            return c.run(args);
        }
    }
    std::fprintf(stderr, "zelkora-tool: unknown command '%s'\n\n", name.c_str());
    printOverview(stderr);
    return tool::kExitUsage;
}
