// The window ended by a signal, as at logout or shutdown: it closes the normal way, with
// exit status 0 and its settings saved.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "support/TempDir.h"
#include "tools/ChildProcess.h"

using testing_support::ChildProcess;

namespace {

namespace fs = std::filesystem;

const std::string kWindow = std::string(ZELKORA_BINARY_DIR) + "/platform/zelkora";
const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

std::string readAll(const fs::path& p) {
    std::ifstream in(p);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// True once the process catches `sig` (its handler is installed).
bool catches(pid_t pid, int sig) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (sig - 1)) & 1u;
    }
    return false;
}

class WindowStopSignal : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"}) {
            if (const char* v = std::getenv(name)) saved.emplace_back(name, v);
        }
        fs::create_directories(root() / "run");
        fs::permissions(root() / "run", fs::perms::owner_all);
        ::setenv("HOME", dir.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root() / "config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root() / "run").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) ::setenv(name.c_str(), value.c_str(), 1);
    }
    // A short sequence file written by the tool; its path.
    std::string writeFile() {
        ChildProcess encode({kTool, "encode", "--ratio", "16", "--start", "2026-06-01 21:00:00",
                             "--dir", (root() / "seq").string()});
        std::string intervals;
        for (int i = 0; i < 300; ++i) intervals += std::to_string(20 + i % 40) + "\n";
        encode.write(intervals);
        encode.closeInput();
        std::string path;
        encode.readLine(path, 10000);
        EXPECT_EQ(encode.wait(10000), 0);
        return path;
    }

    fs::path root() const { return dir.path(); }

    TempDir dir;
    std::vector<std::pair<std::string, std::string>> saved;
};

TEST_P(WindowStopSignal, ClosesNormallyAndSavesTheSettings) {
    struct sigaction current {};
    if (GetParam() == SIGHUP && sigaction(SIGHUP, nullptr, &current) == 0 &&
        current.sa_handler == SIG_IGN) {
        GTEST_SKIP() << "hang-ups are ignored here (nohup), and so by the window too";
    }
    const std::string file = writeFile();
    ASSERT_FALSE(file.empty());
    const std::string name = fs::path(file).filename().string();
    const fs::path ini = root() / "config" / "Chirova" / "zelkora.ini";

    ChildProcess window({kWindow, file});
    ASSERT_TRUE(window.started());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!catches(window.pid(), GetParam()) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(catches(window.pid(), GetParam())) << "the window never took the signal";
    // Let the window come up and run its loop before it is told to go.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_FALSE(fs::exists(ini));

    window.signal(GetParam());
    EXPECT_EQ(window.wait(20000), 0);
    const std::string settings = readAll(ini);
    EXPECT_NE(settings.find("[Zelkora]"), std::string::npos) << settings;
    // The file on show is the one the next start opens.
    EXPECT_NE(settings.find(name), std::string::npos) << settings;
    EXPECT_NE(settings.find("GPStz="), std::string::npos) << settings;
}

// Three device pixels to the pixel: neither direct path can serve. Both are refused with a
// line on standard error (no message box to block the start) and the painter draws; the
// window still ends cleanly on a signal.
TEST_F(WindowStopSignal, ScreenNoDirectPathServesStartsOnThePainter) {
    const std::string file = writeFile();
    ASSERT_FALSE(file.empty());
    ::setenv("QT_SCALE_FACTOR", "3", 1);
    const fs::path errors = root() / "window.err";
    ChildProcess window({kWindow, file}, errors.string());
    ::unsetenv("QT_SCALE_FACTOR");
    ASSERT_TRUE(window.started());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!catches(window.pid(), SIGTERM) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    window.signal(SIGTERM);
    EXPECT_EQ(window.wait(20000), 0);
    const std::string said = readAll(errors);
    EXPECT_NE(said.find("DirectDraw path refused"), std::string::npos) << said;
    EXPECT_NE(said.find("GAPI path refused: the device-pixel ratio is not 1 or 2"),
              std::string::npos)
        << said;
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowStopSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             return std::string(info.param == SIGTERM  ? "Term"
                                                : info.param == SIGINT ? "Int"
                                                                       : "HangUp");
                         });

}  // namespace
