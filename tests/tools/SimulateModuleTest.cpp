// `zelkora-tool simulate-module` as a host sees it: the registered port, the version reply,
// the stream at the line rate and what a decoder makes of it compared with the log, the stop,
// a host that hangs up and comes back, and a clean end on SIGTERM and SIGINT.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "acquisition/StreamDecoder.h"
#include "platform/VirtualPortRegistry.h"
#include "support/ToolRunner.h"

using testing_support::ChildProcess;
using testing_support::readText;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

class SimulateModule : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelkora-simulate-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "run");
        ::chmod((root_ / "run").c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    }
    void TearDown() override {
        if (host_ >= 0) ::close(host_);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Starts the simulator; its port number and device from the first line, or -1.
    int start(std::vector<std::string> options) {
        std::vector<std::string> args{kTool, "simulate-module", "--log", logPath()};
        args.insert(args.end(), options.begin(), options.end());
        sim_ = std::make_unique<ChildProcess>(args, (root_ / "sim.err").string());
        std::string first;
        if (!sim_->readLine(first, 5000)) return -1;
        const auto colon = first.find(": ");
        if (first.rfind("COM", 0) != 0 || colon == std::string::npos) return -1;
        device_ = first.substr(colon + 2);
        return std::atoi(first.c_str() + 3);
    }

    // Opens the device as a host does: raw, exclusive of nothing else.
    bool openHost() {
        host_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (host_ < 0) return false;
        termios t{};
        ::tcgetattr(host_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(host_, TCSANOW, &t);
        ::tcflush(host_, TCIFLUSH);
        return true;
    }
    void send(char c) { ASSERT_EQ(::write(host_, &c, 1), 1); }

    // Everything that arrives within `ms`, or until `limit` bytes came.
    std::vector<uint8_t> receive(int ms, size_t limit = SIZE_MAX) {
        std::vector<uint8_t> got;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < limit) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{host_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            uint8_t buffer[4096];
            const ssize_t n = ::read(host_, buffer, std::min(sizeof buffer, limit - got.size()));
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    std::string logPath() const { return (root_ / "sim.log").string(); }
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        std::ifstream in(logPath());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    fs::path root_;
    std::unique_ptr<ChildProcess> sim_;
    std::string device_;
    int host_ = -1;
};

TEST_F(SimulateModule, AnswersStreamsAtTheLineRateStopsAndUnregistersOnSigterm) {
    const int port = start({"--mix", "noise", "--noise-load", "95", "--seed", "3"});
    ASSERT_EQ(port, 200);
    auto entry = platform::VirtualPortRegistry().lookup(200);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->devicePath, device_);
    EXPECT_EQ(entry->friendlyName, "DETLINK simulator");
    EXPECT_EQ(entry->ownerPid, sim_->pid());
    ASSERT_TRUE(openHost());

    send('v');
    std::vector<uint8_t> reply = receive(200, 7);
    ASSERT_EQ(reply.size(), 7u);
    EXPECT_EQ(reply[0], 'V');
    EXPECT_TRUE(receive(100).empty());  // nothing streams before 'G'

    // Timed from the 'G': the module cannot have sent anything before it had it.
    const auto from = Clock::now();
    send('G');
    std::vector<uint8_t> stream = receive(3000);
    const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
    const double rate = static_cast<double>(stream.size()) / seconds;
    // 95 % of 11 520 bytes a second, and never more than the line carries.
    EXPECT_GT(rate, 0.8 * 11520) << stream.size() << " bytes in " << seconds << " s";
    EXPECT_LE(static_cast<double>(stream.size()), 11520 * seconds + 2);

    send('g');
    std::vector<uint8_t> tail = receive(200);
    EXPECT_LT(tail.size(), 600u);       // what was under way when 'g' came
    EXPECT_TRUE(receive(300).empty());  // then nothing
    stream.insert(stream.end(), tail.begin(), tail.end());

    sim_->signal(SIGTERM);
    EXPECT_EQ(sim_->wait(5000), 0);
    EXPECT_FALSE(platform::VirtualPortRegistry().lookup(200).has_value());
    EXPECT_FALSE(fs::exists(root_ / "run" / "zelkora" / "ports" / "200"));

    // The decoder gets every interval of the log but the last, which no value completes.
    acquisition::StreamDecoder decoder;
    decoder.reset();
    std::vector<int64_t> decoded;
    for (size_t i = 0; i < stream.size(); ++i) {
        const int32_t r = decoder.feed(stream[i]);
        if (r > 0) decoded.push_back(r);
    }
    std::vector<int64_t> logged;
    std::vector<std::string> events;
    int64_t started = 0, clock = 0, handed = 0, lastHanded = 0;
    for (const std::string& line : logLines()) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line.substr(2));
        int64_t time = 0, value = 0;
        fields >> time >> value;
        if (line[0] == 'W') {
            handed += value;
            EXPECT_GE(time, lastHanded) << line;
            lastHanded = time;
        } else if (line[0] == 'I') {
            logged.push_back(value);
            clock += value;
            ASSERT_EQ(time, clock) << line;  // each interval ends where the next begins
        } else {
            events.push_back(line.substr(0, 1));
            if (line[0] == 'S') started = clock = time;
        }
    }
    EXPECT_EQ(events, (std::vector<std::string>{"V", "S", "E"}));
    // Every byte the host got was logged as handed over.
    EXPECT_EQ(handed, static_cast<int64_t>(reply.size() + stream.size()));
    ASSERT_EQ(decoded.size() + 1, logged.size());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), logged.begin()));
    // The log's clock is the local clock: the stream began a few seconds ago.
    const time_t now = ::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    const int64_t localNow = (static_cast<int64_t>(now) + local.tm_gmtoff) * 1000000;
    EXPECT_GT(started, localNow - 30 * 1000000LL);
    EXPECT_LT(started, localNow);
}

TEST_F(SimulateModule, AHostThatHangsUpStopsTheStreamAndCanComeBack) {
    ASSERT_GT(start({"--mix", "noise", "--noise-load", "85"}), 0);
    ASSERT_TRUE(openHost());
    send('G');
    EXPECT_GT(receive(300).size(), 1000u);
    ::close(host_);
    host_ = -1;
    ::usleep(200000);
    ASSERT_TRUE(openHost());
    // The stream stopped with the hang-up; the module answers a fresh check at once.
    receive(50);
    send('v');
    std::vector<uint8_t> reply = receive(100, 7);
    ASSERT_EQ(reply.size(), 7u);
    EXPECT_EQ(reply[0], 'V');
    EXPECT_TRUE(receive(200).empty());
    sim_->signal(SIGINT);
    EXPECT_EQ(sim_->wait(5000), 0);
    bool hungUp = false;
    for (const std::string& line : logLines()) hungUp = hungUp || line.rfind("H ", 0) == 0;
    EXPECT_TRUE(hungUp);
    EXPECT_TRUE(platform::VirtualPortRegistry().list().empty());
}

TEST_F(SimulateModule, OverflowsMarkersAndMessagesReachTheHost) {
    ASSERT_GT(start({"--mix", "noise", "--noise-load", "85", "--overflow-every", "0.5",
                     "--marker-every", "0.2", "--message-every", "0.3", "--message", "hello"}),
              0);
    ASSERT_TRUE(openHost());
    send('G');
    std::vector<uint8_t> stream = receive(1500);
    acquisition::StreamDecoder decoder;
    decoder.reset();
    int overflows = 0, markers = 0;
    std::string text;
    for (uint8_t b : stream) {
        const int32_t r = decoder.feed(b);
        overflows += r == acquisition::StreamDecoder::kOverflow;
        markers += r == acquisition::StreamDecoder::kMarker;
        if (acquisition::StreamDecoder::isMessageByte(r)) text += static_cast<char>(r - INT32_MIN);
    }
    // Half a second of streaming, then the overflow: the module waits for 'G'.
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(markers, 2);
    EXPECT_EQ(text, "hello");
    send('G');
    EXPECT_GT(receive(300).size(), 1000u);
    sim_->signal(SIGTERM);
    EXPECT_EQ(sim_->wait(5000), 0);
}

TEST_F(SimulateModule, PortNumbersAndUsage) {
    ASSERT_EQ(start({"--port", "230"}), 230);
    ChildProcess second({kTool, "simulate-module"}, (root_ / "second.err").string());
    std::string line;
    ASSERT_TRUE(second.readLine(line, 5000));
    EXPECT_EQ(line.rfind("COM200: /dev/pts/", 0), 0u) << line;
    ChildProcess taken({kTool, "simulate-module", "--port", "230"}, (root_ / "taken.err").string());
    EXPECT_EQ(taken.wait(5000), 1);
    second.signal(SIGTERM);
    EXPECT_EQ(second.wait(5000), 0);
    sim_->signal(SIGTERM);
    EXPECT_EQ(sim_->wait(5000), 0);

    ChildProcess help({kTool, "simulate-module", "--help"});
    std::string text, l;
    while (help.readLine(l, 2000)) text += l + "\n";
    EXPECT_EQ(help.wait(2000), 0);
    EXPECT_NE(text.find("I <time> <interval>"), std::string::npos);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--ratio", "0"},
                                         {"--ratio", "256"},
                                         {"--mix", "day"},
                                         {"--calls-per-second", "11"},
                                         {"--port", "199"},
                                         {"--noise-load", "96"},
                                         {"extra"},
                                         {"--overflow-every", "0"},
                                         {"--message", ""}}) {
        std::vector<std::string> args{kTool, "simulate-module"};
        args.insert(args.end(), bad.begin(), bad.end());
        const std::string err = (root_ / "err").string();
        ChildProcess p(args, err);
        EXPECT_EQ(p.wait(2000), 64) << bad.front();
        // A range as a user would type it, not "0.000000 to 10.000000".
        if (bad.front() == "--calls-per-second") {
            EXPECT_NE(readText(err).find("from 0 to 10, not '11'"), std::string::npos);
        }
    }
    ChildProcess noLog({kTool, "simulate-module", "--log", "/nonexistent/dir/log"},
                       (root_ / "err").string());
    EXPECT_EQ(noLog.wait(2000), 2);
}

}  // namespace
