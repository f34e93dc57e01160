// End to end: the module simulator on a pseudo-terminal, `zelkora-tool record` reading it, and
// the files it writes compared with what the simulator logged as sent.
//
// ZELKORA_E2E_SECONDS (default 12) sets how long the Record-mode run lasts; a save is asked
// for every ZELKORA_E2E_SAVE_EVERY seconds (default 3).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "SimulatorLog.h"

using testing_support::ChildProcess;
using testing_support::findRun;
using testing_support::readLog;
using testing_support::readSaved;
using testing_support::SavedFile;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

// Runs that the recorder's call detector counts (slack 1, minimum run 5).
int32_t countedRuns(const std::vector<int32_t>& v) {
    int32_t runs = 0, length = 0;
    bool inRun = false, counted = false;
    for (size_t i = 2; i < v.size(); ++i) {
        const int64_t c = v[i - 2], a = v[i - 1], b = v[i];
        const int64_t d = a + b, e = (d >> 2) + (d >> 4), f = (b + c) >> 1;
        if (!(f - e < a && a < f + e)) {
            inRun = counted = false;
        } else if (!inRun) {
            inRun = true;
            length = 3;
        } else if (++length > 7 && !counted) {
            counted = true;
            ++runs;
        }
    }
    return runs;
}

int envSeconds(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v ? std::atoi(v) : fallback;
}

class RecordCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zelkora-record-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "run");
        ::chmod((root / "run").c_str(), 0700);
        std::filesystem::create_directories(root / "config" / "Chirova");
        ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        out = root / "out";
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    void writeSettings(const std::string& lines) {
        std::ofstream((root / "config" / "Chirova" / "zelkora.ini")) << "[Zelkora]\n" << lines;
    }

    // Starts the simulator; returns its port number.
    int startSimulator(const std::vector<std::string>& options) {
        std::vector<std::string> args{kTool, "simulate-module", "--log",
                                      (root / "sim.log").string()};
        args.insert(args.end(), options.begin(), options.end());
        simulator = std::make_unique<ChildProcess>(args, (root / "sim.err").string());
        std::string first;
        if (!simulator->readLine(first, 5000) || first.rfind("COM", 0) != 0) return -1;
        return std::atoi(first.c_str() + 3);
    }
    void stopSimulator() {
        simulator->signal(SIGTERM);
        EXPECT_EQ(simulator->wait(5000), 0);
    }

    std::vector<std::string> savedNames(ChildProcess& recorder, int ms) {
        std::vector<std::string> names;
        std::string line;
        while (recorder.readLine(line, ms)) {
            if (line.rfind("saved ", 0) == 0) names.push_back(line.substr(6));
        }
        return names;
    }

    std::filesystem::path root;
    std::filesystem::path out;
    std::unique_ptr<ChildProcess> simulator;
};

TEST_F(RecordCommand, RecordModeFilesHoldEveryIntervalBetweenTheSaves) {
    const int seconds = envSeconds("ZELKORA_E2E_SECONDS", 12);
    const int every = envSeconds("ZELKORA_E2E_SAVE_EVERY", 3);
    const int port = startSimulator({"--mix", "passes", "--calls-per-second", "10", "--seed", "5"});
    ASSERT_GT(port, 0);
    ChildProcess recorder({kTool, "record", "--port", std::to_string(port), "--seconds",
                           std::to_string(seconds), "--dir", out.string()},
                          (root / "record.err").string());
    std::string line;
    ASSERT_TRUE(recorder.readLine(line, 5000));
    EXPECT_EQ(line, "Recording on port " + std::to_string(port));

    std::vector<std::string> names;
    for (int t = every; t < seconds; t += every) {
        std::this_thread::sleep_for(std::chrono::seconds(every));
        recorder.write("\n");
        ASSERT_TRUE(recorder.readLine(line, 2000)) << "no file after a save at " << t << " s";
        ASSERT_EQ(line.rfind("saved ", 0), 0u) << line;
        names.push_back(line.substr(6));
    }
    for (auto& n : savedNames(recorder, 8000)) names.push_back(n);
    EXPECT_EQ(recorder.wait(5000), 0);
    stopSimulator();

    const auto log = readLog(root / "sim.log");
    ASSERT_FALSE(log.empty());
    ASSERT_GE(names.size(), 2u);
    std::vector<int32_t> all;
    size_t searchFrom = 0;
    for (const std::string& name : names) {
        const SavedFile f = readSaved(out, name);
        ASSERT_FALSE(f.intervals.empty()) << name;
        // Each file agrees with the simulator's clock at its first interval.
        const int64_t at = findRun(log, f.intervals, searchFrom);
        ASSERT_GE(at, 0) << name << " is not a stretch of what was sent";
        const int64_t simulatorStart = log[at].end - log[at].interval;
        EXPECT_NEAR(static_cast<double>(f.start.value()), static_cast<double>(simulatorStart),
                    50000.0)
            << name;
        searchFrom = static_cast<size_t>(at) + 1;
        all.insert(all.end(), f.intervals.begin(), f.intervals.end());
    }
    // Together, in order, without a gap or a repeat: one unbroken stretch of the log.
    EXPECT_GE(findRun(log, all), 0);
}

TEST_F(RecordCommand, MonitorModeSavesThePassesAndNothingOfNoise) {
    writeSettings("autoMaxTBC=1000000\n");
    const int port = startSimulator({"--mix", "passes", "--calls-per-second", "4", "--seed", "9"});
    ASSERT_GT(port, 0);
    ChildProcess recorder({kTool, "record", "--monitor", "--port", std::to_string(port),
                           "--seconds", "15", "--dir", out.string()},
                          (root / "record.err").string());
    const auto names = savedNames(recorder, 20000);
    EXPECT_EQ(recorder.wait(5000), 0);
    stopSimulator();

    const auto log = readLog(root / "sim.log");
    ASSERT_GE(names.size(), 1u);
    for (const std::string& name : names) {
        const SavedFile f = readSaved(out, name);
        EXPECT_GE(findRun(log, f.intervals), 0) << name;
        EXPECT_GE(countedRuns(f.intervals), 2) << name << " holds no calls";
    }
}

TEST_F(RecordCommand, NoiseAloneWritesNoFileAndCostsLittle) {
    const int port = startSimulator({"--mix", "noise", "--noise-load", "95", "--seed", "2"});
    ASSERT_GT(port, 0);
    ChildProcess recorder({kTool, "record", "--monitor", "--port", std::to_string(port),
                           "--seconds", "9", "--dir", out.string()},
                          (root / "record.err").string());
    std::string line;
    ASSERT_TRUE(recorder.readLine(line, 5000));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuBefore = recorder.cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu = recorder.cpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const auto names = savedNames(recorder, 8000);
    EXPECT_EQ(recorder.wait(5000), 0);
    stopSimulator();
    EXPECT_TRUE(names.empty());
    // The stream filled the line the whole time.
    EXPECT_GT(readLog(root / "sim.log").size(), 30000u);
    RecordProperty("cpu_share_percent", std::to_string(100.0 * cpu / wall));
    EXPECT_LT(cpu / wall, 0.05) << "the recorder used " << 100.0 * cpu / wall << " % of a core";
}

TEST_F(RecordCommand, SearchFindsTheSimulatorWithoutAPort) {
    const int port = startSimulator({"--mix", "passes"});
    ASSERT_GT(port, 0);
    ChildProcess recorder({kTool, "record", "--seconds", "1", "--dir", out.string()},
                          (root / "record.err").string());
    std::vector<std::string> lines;
    std::string line;
    while (recorder.readLine(line, 15000)) lines.push_back(line);
    EXPECT_EQ(recorder.wait(5000), 0);
    stopSimulator();
    const std::string success = "Success port " + std::to_string(port);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Trying port " + std::to_string(port));
    EXPECT_EQ(lines[lines.size() - 2], success);
    EXPECT_EQ(lines.back(), "Recording on port " + std::to_string(port));
}

TEST_F(RecordCommand, SignalStopsTheRecordingCleanly) {
    const int port = startSimulator({"--mix", "passes"});
    ASSERT_GT(port, 0);
    ChildProcess recorder({kTool, "record", "--port", std::to_string(port), "--dir", out.string()},
                          (root / "record.err").string());
    std::string line;
    ASSERT_TRUE(recorder.readLine(line, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    recorder.signal(SIGINT);
    EXPECT_EQ(recorder.wait(3000), 0);
    stopSimulator();
    // The simulator saw the stream stopped with 'g' before the port was closed.
    std::ifstream in(root / "sim.log");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("\nE "), std::string::npos);
}

TEST_F(RecordCommand, FullDiskEndsTheRecordingWithADetlinkError) {
    const int port = startSimulator({"--mix", "passes", "--calls-per-second", "10"});
    ASSERT_GT(port, 0);
    const std::filesystem::path card = root / "card";
    ChildProcess recorder({kTool, "record", "--port", std::to_string(port), "--seconds", "10",
                           "--dir", card.string()},
                          (root / "record.err").string());
    std::string line;
    ASSERT_TRUE(recorder.readLine(line, 5000));
    // The storage goes away under the running recording: no file can be written any more.
    std::filesystem::remove_all(card);
    std::ofstream(card) << "not a folder";
    std::this_thread::sleep_for(std::chrono::seconds(1));
    recorder.write("\n");
    EXPECT_EQ(recorder.wait(5000), 1);
    stopSimulator();
    std::ifstream err(root / "record.err");
    const std::string text((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(text.find("Couldn't open output file"), std::string::npos);
    EXPECT_NE(text.find("DETLINK error"), std::string::npos);
}

TEST_F(RecordCommand, FolderThatCannotBeMadeIsRefusedBeforeRecording) {
    std::ofstream(root / "blocker") << "not a folder";
    ChildProcess recorder({kTool, "record", "--port", "999", "--seconds", "1", "--dir",
                           (root / "blocker" / "Batfiles").string()},
                          (root / "record.err").string());
    EXPECT_EQ(recorder.wait(5000), 1);
    std::ifstream err(root / "record.err");
    const std::string text((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(text.find("cannot create the folder"), std::string::npos) << text;
}

TEST_F(RecordCommand, UnpluggedModuleIsSilenceNotABusyLoop) {
    const int port = startSimulator({"--mix", "passes", "--calls-per-second", "10"});
    ASSERT_GT(port, 0);
    ChildProcess recorder(
        {kTool, "record", "--port", std::to_string(port), "--seconds", "5", "--dir", out.string()},
        (root / "record.err").string());
    std::string line;
    ASSERT_TRUE(recorder.readLine(line, 5000));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    simulator->signal(SIGKILL);  // the device goes away without a word
    simulator->wait(5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double before = recorder.cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_LT(recorder.cpuSeconds() - before, 0.2);
    EXPECT_EQ(recorder.wait(5000), 0);
}

}  // namespace
