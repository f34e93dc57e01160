#include "platform/VirtualPortRegistry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using platform::VirtualPortRegistry;

// A private temporary folder standing in for XDG_RUNTIME_DIR.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelkora-registry-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        runtime_ = pattern;
        ::chmod(runtime_.c_str(), 0700);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        if (old) oldRuntime_ = old;
        hadRuntime_ = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    void TearDown() override {
        if (hadRuntime_) {
            ::setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
        std::error_code ec;
        fs::remove_all(runtime_, ec);
    }
    std::string portsFolder() const { return runtime_ + "/zelkora/ports/"; }

    // The pid of a process that has already ended.
    static pid_t deadPid() {
        pid_t child = ::fork();
        if (child == 0) ::_exit(0);
        ::waitpid(child, nullptr, 0);
        return child;
    }
    void writeEntry(int32_t number, const std::string& text) {
        fs::create_directories(portsFolder());
        fs::permissions(runtime_ + "/zelkora", fs::perms::owner_all);
        fs::permissions(portsFolder(), fs::perms::owner_all);
        std::ofstream(portsFolder() + std::to_string(number)) << text;
    }

    std::string runtime_;
    std::string oldRuntime_;
    bool hadRuntime_ = false;
};

TEST_F(RegistryTest, FolderFollowsTheRuntimeDirectoryAndFallsBackToTmp) {
    EXPECT_EQ(VirtualPortRegistry::defaultFolder(), portsFolder());
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(VirtualPortRegistry::defaultFolder(),
              "/tmp/zelkora-" + std::to_string(::getuid()) + "/ports/");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(VirtualPortRegistry::defaultFolder(),
              "/tmp/zelkora-" + std::to_string(::getuid()) + "/ports/");
}

TEST_F(RegistryTest, RegisteringWritesThreeLinesInAPrivateFolder) {
    VirtualPortRegistry registry;
    std::string error;
    ASSERT_EQ(registry.registerPort("/dev/pts/7", "DETLINK simulator", 0, &error), 200) << error;

    std::ifstream in(portsFolder() + "200");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "/dev/pts/7\nDETLINK simulator\n" + std::to_string(::getpid()) + "\n");
    struct stat st {};
    ASSERT_EQ(::stat(portsFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((runtime_ + "/zelkora").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    auto port = registry.lookup(200);
    ASSERT_TRUE(port.has_value());
    EXPECT_EQ(port->devicePath, "/dev/pts/7");
    EXPECT_EQ(port->friendlyName, "DETLINK simulator");
    EXPECT_EQ(port->ownerPid, ::getpid());
}

TEST_F(RegistryTest, NumbersAreTheFirstFreeFrom200OrTheOneAskedFor) {
    VirtualPortRegistry registry;
    EXPECT_EQ(registry.registerPort("/dev/pts/1", "a"), 200);
    EXPECT_EQ(registry.registerPort("/dev/pts/2", "b"), 201);
    EXPECT_EQ(registry.registerPort("/dev/pts/3", "c", 250), 250);
    std::string error;
    EXPECT_EQ(registry.registerPort("/dev/pts/4", "d", 250, &error), -1);
    EXPECT_NE(error.find("250"), std::string::npos) << error;
    EXPECT_EQ(registry.registerPort("/dev/pts/4", "d", 199), -1);
    EXPECT_EQ(registry.registerPort("/dev/pts/4", "d", 10000), -1);

    EXPECT_TRUE(registry.unregisterPort(200));
    EXPECT_FALSE(registry.lookup(200).has_value());
    EXPECT_EQ(registry.registerPort("/dev/pts/5", "e"), 200);

    auto ports = registry.list();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].number, 200);
    EXPECT_EQ(ports[0].devicePath, "/dev/pts/5");
    EXPECT_EQ(ports[1].number, 201);
    EXPECT_EQ(ports[2].number, 250);
}

TEST_F(RegistryTest, TextsWithLineBreaksAreRefused) {
    VirtualPortRegistry registry;
    EXPECT_EQ(registry.registerPort("/dev/pts/1\n/dev/null", "x"), -1);
    EXPECT_EQ(registry.registerPort("/dev/pts/1", "two\nlines"), -1);
    EXPECT_EQ(registry.registerPort("", "x"), -1);
    EXPECT_TRUE(registry.list().empty());
}

TEST_F(RegistryTest, EntriesOfDeadOwnersAreAbsentAndTheirNumbersReused) {
    const pid_t dead = deadPid();
    writeEntry(200, "/dev/pts/9\nold\n" + std::to_string(dead) + "\n");
    writeEntry(201, "/dev/pts/8\nhalf written\n");  // died before writing its owner
    writeEntry(202, "/dev/pts/7\nlive\n" + std::to_string(::getppid()) + "\n");
    writeEntry(203, "/dev/pts/6\nrubbish\nnot-a-pid\n");
    std::ofstream(portsFolder() + "0204") << "/dev/pts/5\nleading zero\n" << ::getpid() << "\n";
    std::ofstream(portsFolder() + "notes") << "/dev/pts/5\nnot a number\n" << ::getpid() << "\n";

    VirtualPortRegistry registry;
    auto ports = registry.list();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].number, 202);
    EXPECT_FALSE(registry.lookup(200).has_value());
    EXPECT_FALSE(registry.lookup(201).has_value());
    EXPECT_TRUE(registry.lookup(202).has_value());

    EXPECT_EQ(registry.registerPort("/dev/pts/1", "new"), 200);
    EXPECT_EQ(registry.registerPort("/dev/pts/2", "new"), 201);
    EXPECT_EQ(registry.registerPort("/dev/pts/3", "new"), 203);
    EXPECT_EQ(registry.registerPort("/dev/pts/4", "new"), 204);
    EXPECT_EQ(registry.lookup(200)->ownerPid, ::getpid());
    // Someone else's live entry is left alone.
    EXPECT_FALSE(registry.unregisterPort(202));
    EXPECT_TRUE(registry.lookup(202).has_value());
}

TEST_F(RegistryTest, AFolderOthersMayWriteIntoIsNotUsed) {
    fs::create_directories(portsFolder());
    ::chmod(portsFolder().c_str(), 0777);
    VirtualPortRegistry registry;
    std::string error;
    EXPECT_EQ(registry.registerPort("/dev/pts/1", "x", 0, &error), -1);
    EXPECT_FALSE(error.empty());
}

TEST_F(RegistryTest, ConcurrentRegistrationsGetDistinctNumbers) {
    constexpr int kProcesses = 8;
    // A few stale entries among the numbers, so the processes also race to remove them.
    writeEntry(201, "/dev/pts/9\nold\n" + std::to_string(deadPid()) + "\n");
    writeEntry(204, "/dev/pts/9\nold\n" + std::to_string(deadPid()) + "\n");
    int results[2];
    int release[2];
    ASSERT_EQ(::pipe(results), 0);
    ASSERT_EQ(::pipe(release), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(results[0]);
            ::close(release[1]);
            int32_t n = VirtualPortRegistry().registerPort("/dev/pts/" + std::to_string(i), "x");
            (void)!::write(results[1], &n, sizeof n);
            char c;
            (void)!::read(release[0], &c, 1);  // stay alive (and registered) until released
            ::_exit(0);
        }
        children.push_back(child);
    }
    ::close(results[1]);
    ::close(release[0]);
    std::set<int32_t> numbers;
    for (int i = 0; i < kProcesses; ++i) {
        int32_t n = 0;
        ASSERT_EQ(::read(results[0], &n, sizeof n), static_cast<ssize_t>(sizeof n));
        numbers.insert(n);
    }
    EXPECT_EQ(numbers.size(), static_cast<size_t>(kProcesses));
    EXPECT_EQ(*numbers.begin(), 200);
    EXPECT_EQ(*numbers.rbegin(), 200 + kProcesses - 1);
    EXPECT_EQ(VirtualPortRegistry().list().size(), static_cast<size_t>(kProcesses));

    ::close(release[1]);
    for (pid_t child : children) ::waitpid(child, nullptr, 0);
    ::close(results[0]);
    EXPECT_TRUE(VirtualPortRegistry().list().empty());
}

}  // namespace
