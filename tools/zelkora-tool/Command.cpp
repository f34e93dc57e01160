#include "tools/zelkora-tool/Command.h"

#include <algorithm>

namespace tool {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> list;
    return list;
}
}  // namespace

CommandRegistration::CommandRegistration(Command command) {
    auto& list = registry();
    auto at = std::lower_bound(
        list.begin(), list.end(), command,
        [](const Command& a, const Command& b) { return std::string(a.name) < b.name; });
    list.insert(at, command);
}

const std::vector<Command>& commands() {
    return registry();
}

}  // namespace tool
