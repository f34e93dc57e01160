#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "acquisition/ModuleSimulator.h"
#include "platform/LocalClock.h"
#include "platform/PseudoTerminal.h"
#include "platform/StopSignals.h"
#include "platform/VirtualPortRegistry.h"
#include "sequence/JulianTime.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/SimulatedPort.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kName = "simulate-module";
constexpr const char* kUsage =
    "zelkora-tool simulate-module [--port N] [--seed S] [--calls-per-second R]\n"
    "       [--overflow-every SECONDS] [--silent-after SECONDS] [--ratio N] [--log FILE]\n"
    "       [--mix night|noise|passes] [--noise-load PERCENT]\n"
    "       [--marker-every SECONDS] [--message-every SECONDS] [--message TEXT]\n"
    "       [--capture FILE]";

constexpr const char* kHelp =
    "Plays a DETLINK module on a pseudo-terminal, so that the recorder can be seen and\n"
    "tested without hardware. The pseudo-terminal is registered as virtual port N (the first\n"
    "free number from 200 when --port is not given) under the name \"DETLINK simulator\";\n"
    "the first line printed is \"COM<N>: <device path>\". The simulator answers 'v' with a\n"
    "7-byte reply beginning 'V', streams after 'G' and stops at 'g', at the module's line\n"
    "rate of 115 200 baud (11 520 bytes a second at most). It ends on SIGINT or SIGTERM and\n"
    "then removes its port from the registry.\n"
    "\n"
    "The stream is a night: passes of bats, stretches of sparse irregular noise that the\n"
    "recorder's call detector never takes for calls (with a slack of 4 or less), and stretches\n"
    "of silence. Each pass is one kind of call for a few seconds: a steep FM sweep from about\n"
    "105 to 30 kHz, an FM sweep into a quasi-constant tail near 45 kHz, a low shallow call near\n"
    "20 kHz, or a constant-frequency call at 80-110 kHz with short FM ends; calls last 1.5-60 ms\n"
    "and come every 70-400 ms. The night runs only while streaming, so a seed\n"
    "gives the same intervals for the same streaming time. A 'v' while streaming is answered\n"
    "between two values, as a module that answers at once would.\n"
    "\n"
    "  --port N               virtual port number to take (200-9999)\n"
    "  --seed S               seed of the night (default 1)\n"
    "  --calls-per-second R   average bat calls a second over the whole stream (default 3;\n"
    "                         0: no bats; at most 10, when passes follow each other closely)\n"
    "  --ratio N              the detector's division ratio, 1-255 (default 16): a call of F Hz\n"
    "                         reaches the module as F/N Hz, whose half periods are the intervals\n"
    "  --mix night            passes, noise and silence (default)\n"
    "  --mix noise            noise only, without a break (fills the line to the noise load)\n"
    "  --mix passes           passes separated by silence, no noise\n"
    "  --noise-load PERCENT   share of the line's capacity the noise uses, 0-95 (default 3: a\n"
    "                         few stray dots; 85 keeps the line busy)\n"
    "  --overflow-every SECS  report an overflow every SECS seconds of streaming\n"
    "  --silent-after SECS    send nothing at all (still answering 'v') after SECS seconds of\n"
    "                         streaming\n"
    "  --marker-every SECS    send a marker every SECS seconds of streaming\n"
    "  --message-every SECS   send a message every SECS seconds of streaming\n"
    "  --message TEXT         the messages' text (default \"DETLINK simulator\")\n"
    "  --log FILE             write what was sent to FILE (format below)\n"
    "  --capture FILE         write every byte handed to the host to FILE, as it went\n"
    "\n"
    "When the host stops reading and the pseudo-terminal fills up, the module's send buffer\n"
    "(4096 bytes) fills next; data that does not fit is dropped, the overflow escape follows\n"
    "what the buffer holds, and the module measures nothing more until the next 'G' (the\n"
    "recorder drains the stream after an overflow and then sends 'G'). An overflow put in by\n"
    "--overflow-every does the same without losing data first.\n"
    "\n"
    "Log format: lines starting with '#' are comments; every other line is a letter, a time\n"
    "and perhaps a value, separated by single spaces. Times are microseconds since\n"
    "1970-01-01 00:00 on the local clock (as the start times of sequence files), taken from\n"
    "the module's clock: an interval's time is the zero crossing that ends it, so the time of\n"
    "an interval is the time of the previous one plus the interval.\n"
    "  S <time>             'G': streaming starts; the next interval counts from <time>\n"
    "  I <time> <interval>  an interval (microseconds) went out whole\n"
    "  O <time> <lost>      the overflow escape went out; data was lost from <time> on\n"
    "                       (<lost> zero crossings) and nothing is measured until the next S\n"
    "  M <time>             a marker went out\n"
    "  T <time> <text>      a message went out\n"
    "  E <time>             'g': streaming stopped\n"
    "  H <time>             the host closed the port; streaming stopped\n"
    "  V <time>             the version reply went out\n"
    "  W <time> <count>     <count> bytes were handed to the host at <time>; the events they\n"
    "                       complete follow\n"
    "A decoder sees a value only when the next value begins, so the last interval before an\n"
    "O, E or H line never reaches a recording.\n";

int64_t localClockMicros() {
    const platform::LocalClockReading r = platform::readLocalClock();
    return JulianTime::fromDateTime(r.year, r.month, r.day, r.hour, r.minute, r.second,
                                    r.microsecond)
        .value();
}

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};

int run(const std::vector<std::string>& argv) {
    tool::ToolArgs args({"--port", "--seed", "--calls-per-second", "--overflow-every",
                         "--silent-after", "--ratio", "--log", "--mix", "--noise-load",
                         "--marker-every", "--message-every", "--message", "--capture"},
                        {});
    if (const auto done = tool::parseOptionsOnly(args, argv, kName, kUsage, kHelp)) return *done;

    acquisition::ModuleSimulatorOptions options;
    auto port = args.integer("--port", 0, platform::VirtualPortRegistry::kFirstNumber,
                             platform::VirtualPortRegistry::kLastNumber);
    auto seed = args.integer("--seed", 1, 0, INT64_MAX);
    auto ratio = args.integer("--ratio", 16, 1, 255);
    auto load = args.integer("--noise-load", 3, 0, 95);
    if (!port || !seed || !ratio || !load) return tool::usageError(kName, args.error(), kUsage);
    // A number of seconds or calls per second in [min, max], `fallback` when absent. The
    // bounds are written as a user would type them (10, 0.001), not as std::to_string does.
    auto decimal = [&](const std::string& option, double fallback, double min, double max) {
        auto plain = [](double v) {
            char text[32];
            std::snprintf(text, sizeof text, "%.10g", v);
            return std::string(text);
        };
        return args.real(option, min, max, "a number from " + plain(min) + " to " + plain(max))
            .value_or(fallback);
    };
    const double calls = decimal("--calls-per-second", 3, 0, 10);
    const double overflowEvery = decimal("--overflow-every", 0, 0.001, 1e7);
    const double silentAfter = decimal("--silent-after", -1, 0, 1e7);
    const double markerEvery = decimal("--marker-every", 0, 0.001, 1e7);
    const double messageEvery = decimal("--message-every", 0, 0.001, 1e7);
    if (!args.error().empty()) return tool::usageError(kName, args.error(), kUsage);
    const std::string mix = args.value("--mix").value_or("night");
    if (mix == "night") {
        options.night.mix = acquisition::NightMix::Night;
    } else if (mix == "noise") {
        options.night.mix = acquisition::NightMix::Noise;
    } else if (mix == "passes") {
        options.night.mix = acquisition::NightMix::Passes;
    } else {
        return tool::usageError(kName, "--mix is night, noise or passes, not '" + mix + "'",
                                kUsage);
    }
    if (auto text = args.value("--message")) {
        for (unsigned char c : *text) {
            if (c < 0x20 || c == 0x7F) {
                return tool::usageError(kName, "--message must be printable text", kUsage);
            }
        }
        if (text->empty() || text->size() > 200) {
            return tool::usageError(kName, "--message needs 1 to 200 characters", kUsage);
        }
        options.messageText = *text;
    }
    auto micros = [](double seconds) { return static_cast<int64_t>(seconds * 1e6 + 0.5); };
    options.night.seed = static_cast<uint64_t>(*seed);
    options.night.ratio = static_cast<int32_t>(*ratio);
    options.night.noiseLoadPercent = static_cast<int32_t>(*load);
    options.night.callsPerSecond = calls;
    options.overflowEveryUs = micros(overflowEvery);
    options.silentAfterUs = silentAfter < 0 ? -1 : micros(silentAfter);
    options.markerEveryUs = micros(markerEvery);
    options.messageEveryUs = micros(messageEvery);

    std::unique_ptr<FILE, FileCloser> log;
    if (auto path = args.value("--log")) {
        log.reset(std::fopen(path->c_str(), "w"));
        if (!log) {
            std::fprintf(stderr, "Cannot open file %s\n", path->c_str());
            return tool::kExitBadFile;
        }
    }

    std::unique_ptr<FILE, FileCloser> capture;
    if (auto path = args.value("--capture")) {
        capture.reset(std::fopen(path->c_str(), "wb"));
        if (!capture) {
            std::fprintf(stderr, "Cannot open file %s\n", path->c_str());
            return tool::kExitBadFile;
        }
    }

    tool::SimulatedPort simulated;
    if (!simulated.open(kName, "DETLINK simulator", static_cast<int32_t>(*port), false)) {
        return tool::kExitFailure;
    }
    platform::PseudoTerminal& pty = simulated.line();
    const int32_t number = simulated.number();

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    auto nowUs = [&] {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    };
    const int64_t clockOffset = localClockMicros() - nowUs();
    if (log) {
        std::fprintf(log.get(),
                     "# zelkora-tool simulate-module on COM%d (%s): seed %llu, ratio %d, "
                     "%.3f calls/s, mix %s, noise load %d%%\n"
                     "# times: microseconds since 1970-01-01 00:00 on the local clock\n",
                     number, pty.slavePath().c_str(),
                     static_cast<unsigned long long>(options.night.seed), options.night.ratio,
                     options.night.callsPerSecond, mix.c_str(), options.night.noiseLoadPercent);
    }
    acquisition::ModuleSimulator module(options, [&](const acquisition::ModuleEvent& e) {
        if (!log) return;
        const std::string line = acquisition::moduleLogLine(e, clockOffset);
        std::fputs(line.c_str(), log.get());
        std::fputc('\n', log.get());
    });

    // While bytes wait for the line they are handed over every half millisecond, so the host
    // sees a busy line as unbroken (no pause of a millisecond or more, which it would take for
    // the start of a burst). A quiet line sleeps until the next zero crossing, so that a
    // burst's first byte reaches the host the moment it is due, as from a real module. A
    // command from the host wakes the loop at once.
    constexpr auto kBusyCadence = std::chrono::microseconds(500);
    constexpr int64_t kLongestWaitUs = 50000;
    bool hungUp = false;
    int status = tool::kExitOk;
    int64_t lastFlush = 0;
    uint8_t input[64];
    while (!platform::stopSignalReceived()) {
        const int64_t now = nowUs();
        module.advance(now);
        if (!hungUp) {
            std::span<const uint8_t> bytes = module.lineBytes(now);
            if (!bytes.empty()) {
                const int64_t handed = nowUs();
                const int32_t n = pty.write(bytes, 0);
                if (n > 0 && log) {
                    std::fprintf(log.get(), "W %lld %d\n",
                                 static_cast<long long>(handed + clockOffset), n);
                }
                if (n > 0 && capture) {
                    std::fwrite(bytes.data(), 1, static_cast<size_t>(n), capture.get());
                }
                if (n >= 0) {
                    module.consumed(static_cast<size_t>(n), now);
                } else if (n == platform::PseudoTerminal::kHungUp) {
                    hungUp = true;
                    module.hostGone(now);
                } else {
                    std::fprintf(stderr, "zelkora-tool %s: the pseudo-terminal failed\n", kName);
                    status = tool::kExitFailure;
                    break;
                }
            }
        }
        int32_t timeout = 50;
        if (hungUp) {
            timeout = 2;
        } else if (module.bufferedBytes() > 0) {
            std::this_thread::sleep_for(kBusyCadence);
            timeout = 0;
        } else if (module.busy()) {
            const int64_t next = module.nextEventUs();
            const int64_t wait = next == INT64_MAX
                                     ? kLongestWaitUs
                                     : std::clamp<int64_t>(next - nowUs(), 0, kLongestWaitUs);
            if (wait < 1000) {
                std::this_thread::sleep_for(std::chrono::microseconds(wait));
                timeout = 0;
            } else {
                timeout = static_cast<int32_t>(wait / 1000);  // the rest on the next turn
            }
        }
        const int32_t got = pty.read(input, timeout);
        if (got == platform::PseudoTerminal::kHungUp) {
            if (!hungUp) module.hostGone(nowUs());
            hungUp = true;
        } else if (got == platform::PseudoTerminal::kFailed) {
            std::fprintf(stderr, "zelkora-tool %s: the pseudo-terminal failed\n", kName);
            status = tool::kExitFailure;
            break;
        } else {
            hungUp = false;
            for (int32_t i = 0; i < got; ++i) module.receive(input[i], nowUs());
        }
        if (now - lastFlush >= 1000000) {
            if (log) std::fflush(log.get());
            if (capture) std::fflush(capture.get());
            lastFlush = now;
        }
    }
    pty.close();
    if (log && std::fflush(log.get()) != 0) {
        std::fprintf(stderr, "zelkora-tool %s: cannot write the log\n", kName);
        status = tool::kExitFailure;
    }
    if (capture && std::fflush(capture.get()) != 0) {
        std::fprintf(stderr, "zelkora-tool %s: cannot write the capture\n", kName);
        status = tool::kExitFailure;
    }
    return status;
}

const tool::CommandRegistration registration{
    {kName, "play a DETLINK module with bat calls on a virtual serial port", &run}};

}  // namespace
