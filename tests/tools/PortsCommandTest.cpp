// `zelkora-tool ports`: the port list as TEXT<TAB>NUMBER lines, with and without probing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "acquisition/PtyPeer.h"
#include "platform/SerialLine.h"

using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun tool(const std::string& args) {
    ToolRun r;
    const std::string command = std::string(ZELKORA_BINARY_DIR) +
                                "/tools/zelkora-tool/zelkora-tool " + args + " 2>/dev/null";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int raw = ::pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

}  // namespace

TEST(PortsCommand, ListsVirtualPortsAndProbes) {
    PrivateRuntimeDir runtime;  // the child inherits XDG_RUNTIME_DIR
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    runtime.registerPort(200, peer.slavePath(), "DETLINK simulator");
    runtime.registerPort(207, "/dev/nonexistent-line", "GPS simulator");

    ToolRun listed = tool("ports");
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("COM200:DETLINK simulator\t200\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("COM207:GPS simulator\t207\n"), std::string::npos);

    ToolRun probed = tool("ports --probe");
    EXPECT_EQ(probed.status, 0);
    EXPECT_NE(probed.out.find("COM200:DETLINK simulator\t200\n"), std::string::npos);
    EXPECT_EQ(probed.out.find("COM207"), std::string::npos);

    auto held = platform::openSerialLine(peer.slavePath());
    ASSERT_TRUE(held);
    probed = tool("ports --probe");
    EXPECT_EQ(probed.out.find("COM200"), std::string::npos);
}

TEST(PortsCommand, HelpAndUsage) {
    ToolRun help = tool("ports --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("TEXT<TAB>NUMBER"), std::string::npos);
    EXPECT_EQ(tool("ports --fast").status, 64);
    EXPECT_EQ(tool("ports COM1").status, 64);
}
