// zelkora-tool simulate-gps: replays an NMEA log on a pseudo-terminal registered as a
// virtual serial port, paced at the chosen baud rate.
#include <chrono>
#include <cstdio>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/InputFile.h"
#include "platform/PseudoTerminal.h"
#include "platform/SerialLine.h"
#include "platform/StopSignals.h"
#include "platform/VirtualPortRegistry.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/SimulatedPort.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kName = "simulate-gps";
// A log is replayed from memory; a day of sentences at 115200 baud is under 1 GiB.
constexpr size_t kMaxLogBytes = size_t{1} << 30;
constexpr const char* kUsage =
    "zelkora-tool simulate-gps --nmea FILE [--port N] [--baud B] [--loop]";
constexpr const char* kHelp =
    "Plays a GPS receiver on a pseudo-terminal: the lines of FILE are sent as they stand\n"
    "(lines starting with '#' are skipped), paced at B baud (B/10 bytes a second, default\n"
    "4800). The pseudo-terminal is registered as virtual port N (the first free number from\n"
    "200 when --port is not given) under the name \"GPS simulator\"; the first line printed\n"
    "is \"COM<N>: <device path>\".\n"
    "\n"
    "The replay starts when a program opens the port and pauses while it is closed. At the\n"
    "end of the log the simulator starts again from the top with --loop; without it, it\n"
    "waits until the program closes the port. It ends on SIGINT or SIGTERM and then removes\n"
    "its port from the registry.\n";

// The log without its comment lines, line ends kept.
std::vector<uint8_t> replayBytes(const std::string& text) {
    std::vector<uint8_t> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text[start] != '#') out.insert(out.end(), text.begin() + start, text.begin() + end);
        start = end;
    }
    return out;
}

int run(const std::vector<std::string>& argv) {
    tool::ToolArgs args({"--nmea", "--port", "--baud"}, {"--loop"});
    if (const auto done = tool::parseOptionsOnly(args, argv, kName, kUsage, kHelp)) return *done;
    const auto file = args.value("--nmea");
    if (!file) return tool::usageError(kName, "--nmea FILE is required", kUsage);
    auto port = args.integer("--port", 0, platform::VirtualPortRegistry::kFirstNumber,
                             platform::VirtualPortRegistry::kLastNumber);
    auto baud = args.integer("--baud", 4800, 50, 4000000);
    if (!port || !baud) return tool::usageError(kName, args.error(), kUsage);
    const bool loop = args.has("--loop");

    std::vector<uint8_t> log;
    if (!platform::readRegularFile(*file, kMaxLogBytes, log)) {
        std::fprintf(stderr, "Cannot open file %s\n", file->c_str());
        return tool::kExitBadFile;
    }
    const std::vector<uint8_t> bytes = replayBytes(std::string(log.begin(), log.end()));

    tool::SimulatedPort simulated;
    if (!simulated.open(kName, "GPS simulator", static_cast<int32_t>(*port), true)) {
        return tool::kExitFailure;
    }
    platform::PseudoTerminal& pty = simulated.line();

    // Byte i is due i x 10 / baud seconds after the replay (re)started at byte `base`.
    using Clock = std::chrono::steady_clock;
    const double bytesPerSecond = static_cast<double>(*baud) / 10.0;
    Clock::time_point started{};
    size_t base = 0, sent = 0;
    bool running = false;  // a host has the port open and the pacing clock runs
    int status = tool::kExitOk;
    uint8_t discard[256];
    while (!platform::stopSignalReceived()) {
        if (bytes.empty() || (sent >= bytes.size() && !loop)) {
            // Done: wait for the host to close the port so it can read what is queued.
            if (pty.read(discard, 50) == platform::PseudoTerminal::kHungUp && running) break;
            continue;
        }
        if (sent >= bytes.size()) sent = 0, base = 0, started = Clock::now();
        if (!running) {
            started = Clock::now();
            base = sent;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
        size_t due = base + static_cast<size_t>(elapsed * bytesPerSecond) + 1;
        if (due > bytes.size()) due = bytes.size();
        if (due > sent) {
            const int32_t n = pty.write(std::span(bytes).subspan(sent, due - sent), 0);
            if (n == platform::PseudoTerminal::kHungUp) {
                running = false;  // pause until a host opens the port again
                pty.read(discard, 20);
                continue;
            }
            if (n == platform::PseudoTerminal::kFailed) {
                std::fprintf(stderr, "zelkora-tool %s: the pseudo-terminal failed\n", kName);
                status = tool::kExitFailure;
                break;
            }
            if (n > 0) running = true;
            sent += static_cast<size_t>(n);
        }
        // Whatever the host sends (receivers take configuration commands) is ignored.
        const int32_t got = pty.read(discard, 2);
        if (got == platform::PseudoTerminal::kHungUp) running = false;
    }
    pty.close();
    return status;
}

const tool::CommandRegistration registration{
    {kName, "replay an NMEA log as a GPS receiver on a virtual serial port", &run}};

}  // namespace
