#pragma once
#include <string>
#include <vector>

namespace tool {

// Exit statuses shared by every sub-command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the work itself failed (a port, a device, a write)
constexpr int kExitBadFile = 2;  // "Cannot open file NAME" / "File Corrupt NAME"
constexpr int kExitUsage = 64;   // the command line was wrong

// One sub-command. `run` gets the arguments after the sub-command's name.
struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

// Every sub-command file holds one of these at namespace scope.
struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

const std::vector<Command>& commands();

}  // namespace tool
