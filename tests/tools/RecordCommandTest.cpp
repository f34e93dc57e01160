// End to end: the module simulator on a pseudo-terminal, `zelkora-tool record` reading it, and
// the files it writes compared with what the simulator logged as sent.
//
// ZELKORA_E2E_SECONDS (default 12) sets how long the Record-mode run lasts; a save is asked
// for every ZELKORA_E2E_SAVE_EVERY seconds (default 3).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "SimulatorLog.h"
#include "sequence/SequenceFormat.h"
#include "support/PrivateFolders.h"
#include "support/SmallVolume.h"
#include "support/ToolRunner.h"

using testing_support::Arrivals;
using testing_support::burstStampError;
using testing_support::ChildProcess;
using testing_support::findRun;
using testing_support::readArrivals;
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
        testing_support::usePrivateFolders(root);
        // The default sequence folder, where a recording goes when its folder vanishes.
        const char* home = std::getenv("HOME");
        oldHome = home ? home : "";
        ::setenv("HOME", (root / "home").c_str(), 1);
        ::unsetenv("XDG_DOCUMENTS_DIR");
        out = root / "out";
        // A recorder that ended early must fail the test, not kill it with its closed input.
        std::signal(SIGPIPE, SIG_IGN);
    }
    void TearDown() override { ::setenv("HOME", oldHome.c_str(), 1); }

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
        if (const auto colon = first.find(": "); colon != std::string::npos) {
            simulatorDevice = first.substr(colon + 2);
        }
        return std::atoi(first.c_str() + 3);
    }
    void stopSimulator() {
        simulator->signal(SIGTERM);
        EXPECT_EQ(simulator->wait(5000), 0);
    }

    // Starts `record ARGS --dir FOLDER` as `recorder` (run by the command `under`, when
    // given), its standard error in record.err. With `started`, false unless it says it
    // records (or monitors) on the port given by --port.
    bool record(std::vector<std::string> args, const std::filesystem::path& folder,
                bool started = true, const std::vector<std::string>& under = {}) {
        args.insert(args.begin(), {kTool, "record"});
        args.insert(args.begin(), under.begin(), under.end());
        args.insert(args.end(), {"--dir", folder.string()});
        recorder = std::make_unique<ChildProcess>(args, (root / "record.err").string());
        const auto port = std::ranges::find(args, "--port");
        const std::string mode = std::ranges::count(args, "--monitor") ? "Monitoring" : "Recording";
        std::string line;
        return !started || (port != args.end() && recorder->readLine(line, 5000) &&
                            line == mode + " on port " + port[1]);
    }

    // The simulator with passes of 10 calls a second from `seed`, and `record` in Record
    // mode on it for `seconds`; false when either does not come up.
    bool recordPasses(int seconds, const std::string& seed,
                      const std::vector<std::string>& under = {}) {
        const int port =
            startSimulator({"--mix", "passes", "--calls-per-second", "10", "--seed", seed});
        return port > 0 &&
               record({"--port", std::to_string(port), "--seconds", std::to_string(seconds)}, out,
                      true, under);
    }

    std::vector<std::string> savedNames(int ms) {
        std::vector<std::string> names;
        std::string line;
        while (recorder->readLine(line, ms)) {
            if (line.rfind("saved ", 0) == 0) names.push_back(line.substr(6));
        }
        return names;
    }

    std::string errorText() const { return testing_support::readText(root / "record.err"); }

    // Every file is a stretch of what the simulator sent. Passes each hold calls; other files
    // together, in order, are one unbroken stretch.
    void expectStretches(const std::filesystem::path& folder, const std::vector<std::string>& names,
                         bool passes) {
        ASSERT_FALSE(names.empty());
        const auto log = readLog(root / "sim.log");
        std::vector<int32_t> all;
        for (const std::string& name : names) {
            const SavedFile f = readSaved(folder, name);
            ASSERT_FALSE(f.intervals.empty()) << name;
            EXPECT_GE(findRun(log, f.intervals), 0) << name << " is not a stretch of what was sent";
            if (passes) {
                EXPECT_GE(countedRuns(f.intervals), 2) << name << " holds no calls";
            }
            all.insert(all.end(), f.intervals.begin(), f.intervals.end());
        }
        if (!passes) {
            EXPECT_GE(findRun(log, all), 0) << "a gap or a repeat between the files";
        }
    }

    // Records 8 s in Monitor mode into `folder` and removes `gone` 2 s in; the recording
    // must carry on to its end.
    void recordWhileRemoving(const std::filesystem::path& folder,
                             const std::filesystem::path& gone) {
        writeSettings("autoMaxTBC=1000000\n");
        const int port =
            startSimulator({"--mix", "passes", "--calls-per-second", "10", "--seed", "9"});
        ASSERT_GT(port, 0);
        ASSERT_TRUE(
            record({"--monitor", "--port", std::to_string(port), "--seconds", "8"}, folder));
        std::this_thread::sleep_for(std::chrono::seconds(2));
        std::filesystem::remove_all(gone);
        savedNames(12000);
        EXPECT_EQ(recorder->wait(5000), 0) << errorText();
        stopSimulator();
    }

    TempDir dir;
    std::filesystem::path root = dir.path();
    std::filesystem::path out;
    std::string oldHome;
    std::unique_ptr<ChildProcess> simulator;
    std::string simulatorDevice;  // the line the recorder opens
    std::unique_ptr<ChildProcess> recorder;
};

// With libfaketime (reading its offset from a file) the machine's clock is also set an hour
// forward after the first save, as Set Clock from the GPS or a time server reached at last by a
// board without a clock battery would: with time from the detector too, the files after it
// carry the new time.
TEST_F(RecordCommand, RecordModeFilesHoldEveryIntervalBetweenTheSaves) {
    const int seconds = envSeconds("ZELKORA_E2E_SECONDS", 12);
    const int every = envSeconds("ZELKORA_E2E_SAVE_EVERY", 3);
    std::vector<std::string> faketime;
    const std::filesystem::path offset = root / "clock-offset";
    // Under scripts/clock-check.sh the whole run's clock is moved already, by an offset that
    // would win over the file's.
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib")) {
        if (!std::getenv("FAKETIME") &&
            std::filesystem::exists(entry.path() / "faketime/libfaketime.so.1"))
            faketime = {"/usr/bin/env",
                        "LD_PRELOAD=" + (entry.path() / "faketime/libfaketime.so.1").string(),
                        "FAKETIME_TIMESTAMP_FILE=" + offset.string(), "FAKETIME_CACHE_DURATION=1",
                        "FAKETIME_DONT_FAKE_MONOTONIC=1"};
    }
    if (faketime.empty())
        std::printf("libfaketime is missing or already in use: the clock is not set\n");
    std::ofstream(offset) << "+0\n";
    ASSERT_TRUE(recordPasses(seconds, "5", faketime));
    std::string line;
    std::vector<std::string> names;
    for (int t = every; t < seconds; t += every) {
        std::this_thread::sleep_for(std::chrono::seconds(every));
        recorder->write("\n");
        // A busy machine may take a while to write it; the save itself is what counts.
        ASSERT_TRUE(recorder->readLine(line, 15000)) << "no file after a save at " << t << " s";
        ASSERT_EQ(line.rfind("saved ", 0), 0u) << line;
        names.push_back(line.substr(6));
        std::ofstream(offset) << "+3600\n";
    }
    for (auto& n : savedNames(8000)) names.push_back(n);
    EXPECT_EQ(recorder->wait(5000), 0);
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
        const double set = !faketime.empty() && name != names.front() ? 3600e6 : 0.0;
        EXPECT_NEAR(static_cast<double>(f.start.value() - simulatorStart), set, 50000.0) << name;
        searchFrom = static_cast<size_t>(at) + 1;
        all.insert(all.end(), f.intervals.begin(), f.intervals.end());
    }
    // Together, in order, without a gap or a repeat: one unbroken stretch of the log.
    EXPECT_GE(findRun(log, all), 0);
}

TEST_F(RecordCommand, DeviceClockStampsEachBurstAtItsFirstByte) {
    const int seconds = envSeconds("ZELKORA_E2E_STAMP_SECONDS", 8);
    writeSettings("TimeKeeping=1\n");
    ASSERT_TRUE(recordPasses(seconds, "4"));
    std::string line;
    std::vector<std::string> names;
    // Saves at odd moments, so that files end at all points of a burst and of a gap.
    const auto begin = std::chrono::steady_clock::now();
    for (int t = 0; std::chrono::steady_clock::now() - begin < std::chrono::seconds(seconds - 1);
         ++t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(t % 2 ? 1090 : 1370));
        recorder->write("\n");
        while (recorder->readLine(line, 1)) {
            if (line.rfind("saved ", 0) == 0) names.push_back(line.substr(6));
        }
    }
    const double cpu = recorder->cpuSeconds();
    for (auto& n : savedNames(8000)) names.push_back(n);
    EXPECT_EQ(recorder->wait(5000), 0);
    stopSimulator();
    std::printf("recorder CPU: %.2f s in about %d s\n", cpu, seconds);

    const auto log = readLog(root / "sim.log");
    const Arrivals arrivals = readArrivals(root / "sim.log");
    ASSERT_GE(names.size(), 3u);
    size_t searchFrom = 0;
    std::vector<int64_t> errors;
    for (const std::string& name : names) {
        const SavedFile f = readSaved(out, name);
        if (f.intervals.empty()) continue;
        const int64_t at = findRun(log, f.intervals, searchFrom);
        ASSERT_GE(at, 0) << name << " is not a stretch of what was sent";
        searchFrom = static_cast<size_t>(at) + 1;
        const auto error = burstStampError(log, arrivals, f, at);
        ASSERT_TRUE(error.has_value()) << name;
        // Never before the burst's first byte reached the host (the two processes' clocks may
        // differ by a millisecond or two): the recorder cannot read what has not come. Late
        // it may be, as long as a busy machine keeps it asleep.
        EXPECT_GT(*error, -5000) << name << ": the burst stamp is " << -*error
                                 << " µs before its first byte's arrival";
        errors.push_back(std::abs(*error));
    }
    ASSERT_FALSE(errors.empty());
    // Most stamps are at the first byte; how close they come is bench_burst_stamps' figure.
    std::sort(errors.begin(), errors.end());
    EXPECT_LT(errors[errors.size() / 2], 10000)
        << "median stamp error " << errors[errors.size() / 2] << " µs";
}

TEST_F(RecordCommand, MonitorModeSavesThePassesAndNothingOfNoise) {
    writeSettings("autoMaxTBC=1000000\n");
    const int port = startSimulator({"--mix", "passes", "--calls-per-second", "4", "--seed", "9"});
    ASSERT_GT(port, 0);
    record({"--monitor", "--port", std::to_string(port), "--seconds", "15"}, out, false);
    const auto names = savedNames(20000);
    EXPECT_EQ(recorder->wait(5000), 0);
    stopSimulator();
    ASSERT_FALSE(names.empty());
    expectStretches(out, names, true);

    // The tool's own check, which long runs outside the tests rely on, agrees: it passes
    // these files, and fails one whose intervals were never sent in that order.
    const std::string check =
        "check-sent --log " + testing_support::quoted((root / "sim.log").string()) + " ";
    testing_support::Tool tool;
    const auto passed = tool.run(check + testing_support::quoted(out.string()));
    EXPECT_EQ(passed.status, 0) << passed.out;
    std::vector<int32_t> swapped = readSaved(out, names.front()).intervals;
    ASSERT_GE(swapped.size(), 3u);
    std::swap(swapped[1], swapped[swapped.size() - 2]);
    std::string input;
    for (int32_t i : swapped) input += std::to_string(i) + "\n";
    ASSERT_EQ(tool.run("encode --ratio 16 --start '2030-01-01 00:00:00' --dir " +
                           testing_support::quoted(out.string()),
                       input)
                  .status,
              0);
    const auto failed = tool.run(check + testing_support::quoted(out.string()));
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("not a stretch of what was sent"), std::string::npos) << failed.out;
}

TEST_F(RecordCommand, NoiseAloneWritesNoFileAndCostsLittle) {
    const int port = startSimulator({"--mix", "noise", "--noise-load", "95", "--seed", "2"});
    ASSERT_GT(port, 0);
    ASSERT_TRUE(record({"--monitor", "--port", std::to_string(port), "--seconds", "9"}, out));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuBefore = recorder->cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu = recorder->cpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const auto names = savedNames(8000);
    EXPECT_EQ(recorder->wait(5000), 0);
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
    record({"--seconds", "1"}, out, false);
    std::vector<std::string> lines;
    std::string line;
    while (recorder->readLine(line, 15000)) lines.push_back(line);
    EXPECT_EQ(recorder->wait(5000), 0);
    stopSimulator();
    const std::string success = "Success port " + std::to_string(port);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Trying port " + std::to_string(port));
    EXPECT_EQ(lines[lines.size() - 2], success);
    EXPECT_EQ(lines.back(), "Recording on port " + std::to_string(port));
}

TEST_F(RecordCommand, PortsNamedAndHeldAreSaidSo) {
    record({"--port", "999", "--seconds", "1"}, out, false);
    std::string line;
    EXPECT_TRUE(recorder->readLine(line, 15000) && line == "Trying port 999") << line;
    EXPECT_EQ(recorder->wait(15000), 1);
    // The module's line held open and locked by another program.
    const int port = startSimulator({"--mix", "passes"});
    const int held = ::open(simulatorDevice.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0) << simulatorDevice;
    record({"--port", std::to_string(port), "--seconds", "1"}, out, false);
    std::string lines;
    while (recorder->readLine(line, 15000)) lines += line + "\n";
    EXPECT_EQ(recorder->wait(5000), 1);
    ::close(held);
    stopSimulator();
    const std::string inUse = "Port " + std::to_string(port) + " is in use";
    EXPECT_NE(lines.find(inUse + "\n"), std::string::npos) << lines;
    EXPECT_EQ(errorText(), "zelkora-tool record: " + inUse + "\n");
}

TEST_F(RecordCommand, SignalStopsTheRecordingCleanly) {
    const int port = startSimulator({"--mix", "passes"});
    ASSERT_GT(port, 0);
    ASSERT_TRUE(record({"--port", std::to_string(port)}, out));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    recorder->signal(SIGINT);
    // Record mode saves on demand only, at the end as before.
    EXPECT_TRUE(savedNames(3000).empty());
    EXPECT_EQ(recorder->wait(3000), 0);
    stopSimulator();
    // The simulator saw the stream stopped with 'g' before the port was closed.
    EXPECT_NE(testing_support::readText(root / "sim.log").find("\nE "), std::string::npos);
}

// A full card: one report for each run of failures, what waits is written once there is room,
// and a sequence that never could be makes the exit status 1.
TEST_F(RecordCommand, FullDiskIsReportedOnceARunAndSavingResumesWhenThereIsRoom) {
    SmallVolume card(512);
    if (!card.ok()) GTEST_SKIP() << card.reason();
    const std::filesystem::path folder = std::filesystem::path(card.path()) / "Batfiles";
    std::filesystem::create_directories(folder);
    card.fill();
    const int port = startSimulator({"--mix", "passes", "--calls-per-second", "10"});
    ASSERT_GT(port, 0);
    ASSERT_TRUE(record({"--port", std::to_string(port), "--seconds", "12"}, folder));
    std::vector<std::string> names;
    for (int save = 0; save < 2; ++save) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        recorder->write("\n");
    }
    for (auto& n : savedNames(1500)) names.push_back(n);
    EXPECT_TRUE(names.empty());

    // Room again: the two waiting sequences are written without being asked for, and the next
    // save at once.
    card.free();
    for (auto& n : savedNames(2500)) names.push_back(n);
    EXPECT_EQ(names.size(), 2u);
    recorder->write("\n");
    std::string line;
    ASSERT_TRUE(recorder->readLine(line, 15000));
    ASSERT_EQ(line.rfind("saved ", 0), 0u) << line;
    names.push_back(line.substr(6));
    // Full again, to the end: the next second's sequence is never written.
    card.fill();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    recorder->write("\n");
    EXPECT_TRUE(savedNames(15000).empty());
    EXPECT_EQ(recorder->wait(5000), 1);
    stopSimulator();
    ASSERT_EQ(names.size(), 3u);
    expectStretches(folder, names, false);

    // One report for each run of failures, saying why, and what was lost at the end.
    const std::string text = errorText();
    EXPECT_EQ(testing_support::occurrences(text, "Couldn't open output file: the disk is full\n"),
              2u)
        << text;
    EXPECT_NE(text.find("zelkora-tool record: 1 sequence could not be written\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("DETLINK error"), std::string::npos) << text;
}

// A memory card that now and then takes seconds to write a file, as cheap ones do: each flush
// to the card is held up 1.5 s (by strace), so a save keeps it 3 s, while noise keeps the line
// busy. The module, which holds back only a third of a second of such a line, must never
// overflow, and the two saves together hold everything up to the second.
TEST_F(RecordCommand, ASlowCardLosesNothingOfABusyLine) {
    if (std::system("/usr/bin/strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is missing or may not trace here";
    const int port = startSimulator({"--mix", "noise", "--noise-load", "85"});
    ASSERT_GT(port, 0);
    ASSERT_TRUE(record({"--port", std::to_string(port), "--seconds", "8"}, out, true,
                       {"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=fsync",
                        "-e", "inject=fsync:delay_enter=1500000"}));
    // Two seconds of this line fill two thirds of a file; the second save is asked for while
    // the first is still being written.
    for (int save = 0; save < 2; ++save) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        recorder->write("\n");
    }
    const auto names = savedNames(10000);
    EXPECT_EQ(recorder->wait(5000), 0) << errorText();
    stopSimulator();
    EXPECT_EQ(testing_support::readText(root / "sim.log").find("\nO "), std::string::npos)
        << "the module overflowed";
    EXPECT_EQ(names.size(), 2u);
    expectStretches(out, names, false);
}

TEST_F(RecordCommand, FolderDeletedWhileRecordingIsMadeAgain) {
    recordWhileRemoving(out, out);
    const std::string folder = out.string() + "/";
    EXPECT_NE(
        errorText().find("Sequence folder not found: " + folder + "; files now go to " + folder),
        std::string::npos)
        << errorText();
    // What was recorded after the deletion is there.
    ASSERT_TRUE(std::filesystem::is_directory(out));
    EXPECT_FALSE(std::filesystem::is_empty(out));
}

TEST_F(RecordCommand, FolderOnAPulledCardGivesWayToTheDefaultFolder) {
    const std::filesystem::path card = root / "card";
    recordWhileRemoving(card / "Batfiles", card);  // the card goes, its mount point with it
    const std::filesystem::path fallback = root / "home" / "Documents" / "Batfiles";
    EXPECT_NE(errorText().find("files now go to " + fallback.string() + "/"), std::string::npos)
        << errorText();
    EXPECT_FALSE(std::filesystem::exists(card));
    ASSERT_TRUE(std::filesystem::is_directory(fallback));
    EXPECT_FALSE(std::filesystem::is_empty(fallback));
}

// The stream falls silent after 3 s; the pass before is still waiting for its idle end
// (T = 5 s) when the recording stops, by --seconds or by a signal.
TEST_F(RecordCommand, StopInMonitorModeSavesThePassInProgress) {
    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "SIGINT" : "--seconds");
        const int port = startSimulator(
            {"--mix", "passes", "--calls-per-second", "10", "--seed", "5", "--silent-after", "3"});
        ASSERT_GT(port, 0);
        std::vector<std::string> args{"--monitor", "--port", std::to_string(port)};
        if (!bySignal) args.insert(args.end(), {"--seconds", "5"});
        ASSERT_TRUE(record(args, out));
        if (bySignal) {
            std::this_thread::sleep_for(std::chrono::seconds(4));
            EXPECT_TRUE(savedNames(500).empty());
            recorder->signal(SIGINT);
        }
        const auto names = savedNames(10000);
        EXPECT_EQ(recorder->wait(5000), 0);
        stopSimulator();
        expectStretches(out, names, true);
        std::filesystem::remove_all(out);
    }
}

TEST_F(RecordCommand, FolderThatCannotBeMadeIsRefusedBeforeRecording) {
    std::ofstream(root / "blocker") << "not a folder";
    record({"--port", "999", "--seconds", "1"}, root / "blocker" / "Batfiles", false);
    EXPECT_EQ(recorder->wait(5000), 1);
    EXPECT_NE(errorText().find("cannot create the folder"), std::string::npos) << errorText();
}

TEST_F(RecordCommand, KilledModuleEndsTheRecordingNamingItsPort) {
    // With a time limit and without one: either way the recording ends at once.
    for (const bool limited : {true, false}) {
        SCOPED_TRACE(limited ? "with --seconds" : "without --seconds");
        const int port = startSimulator({"--mix", "passes", "--calls-per-second", "10"});
        ASSERT_GT(port, 0);
        std::vector<std::string> args{"--port", std::to_string(port)};
        if (limited) args.insert(args.end(), {"--seconds", "60"});
        ASSERT_TRUE(record(args, out));
        std::this_thread::sleep_for(std::chrono::seconds(1));
        simulator->signal(SIGKILL);  // the device goes away without a word
        simulator->wait(5000);
        const auto killed = std::chrono::steady_clock::now();
        EXPECT_EQ(recorder->wait(4000), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::milliseconds(2500));
        const std::string text = errorText();
        EXPECT_NE(text.find("module on port " + std::to_string(port) + " has gone"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("DETLINK error"), std::string::npos) << text;
    }
}

}  // namespace
