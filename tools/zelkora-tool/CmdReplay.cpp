#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acquisition/RecordingControl.h"
#include "acquisition/StreamDecoder.h"
#include "app/AppSettings.h"
#include "platform/InputFile.h"
#include "platform/LocalClock.h"
#include "platform/qt/QtProfileStore.h"
#include "sequence/JulianTime.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kName = "replay";
// A capture is replayed from memory; a night at the module's full line rate is under 1 GiB.
constexpr size_t kMaxCaptureBytes = size_t{1} << 30;
constexpr const char* kUsage =
    "zelkora-tool replay CAPTURE [--monitor] [--ratio N] [--start \"YYYY-MM-DD hh:mm:ss\"]\n"
    "       [--slack K] [--line L] [--maxtbc US] [--tone] [--dir DIR]";
constexpr const char* kHelp =
    "Feeds a captured DETLINK byte stream (such as the serial test's \"serialtest.txt\")\n"
    "through the recorder's own decoder and sequence accumulator, as if the module were\n"
    "sending it now, and writes the sequence files a recording would have written. Overflows\n"
    "in the capture are handled as the recorder handles them. At the end of the capture the\n"
    "module is taken to fall silent: in Monitor mode a sequence holding calls is then saved;\n"
    "in Record mode the newest data (at most 15 seconds) is saved, as \"Save\" does.\n"
    "Each file is printed as \"saved NAME\". The same capture and options give the same files.\n"
    "\n"
    "  --monitor      Monitor mode (automatic sequences with the call detector); default Record\n"
    "  --ratio N      division ratio, 1-64 (default: the RecordDivrat setting)\n"
    "  --start TIME   local time of the capture's first byte, \"YYYY-MM-DD hh:mm:ss\"\n"
    "                 (default: the file's modification time less the time the capture spans)\n"
    "  --slack K      call detector tolerance (default: autoSlack)\n"
    "  --line L       call detector minimum run (default: autoLineLength)\n"
    "  --maxtbc US    longest time between calls in microseconds (default: autoMaxTBC)\n"
    "  --tone         calibration-tone filter on (default: RecordUseCalTone)\n"
    "  --dir DIR      where the files go (default: the GPath setting); created when missing\n";

constexpr size_t kChunk = 4096;

void printSaved(acquisition::RecordingControl& control) {
    for (const std::string& name : control.takeSavedNames()) {
        std::printf("saved %s\n", name.c_str());
    }
    std::fflush(stdout);
}

std::optional<JulianTime> parseStart(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                    &second, &tail) != 6) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        year < 1900) {
        return std::nullopt;
    }
    const JulianTime t = JulianTime::fromDateTime(year, month, day, hour, minute, second, 0);
    if (!t.isValid()) return std::nullopt;
    return t;
}

// The time the capture spans: the sum of the intervals in it.
int64_t capturedSpan(std::span<const uint8_t> bytes) {
    acquisition::StreamDecoder decoder;
    decoder.reset();
    int64_t sum = 0;
    for (uint8_t b : bytes) {
        const int32_t r = decoder.feed(b);
        if (r > 0) sum += r;
    }
    const int32_t last = decoder.finish();
    if (last > 0) sum += last;
    return sum;
}

std::optional<JulianTime> modificationTime(const std::string& path) {
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path, ec);
    if (ec) return std::nullopt;
    const auto system = std::chrono::file_clock::to_sys(written);
    const int64_t utcMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(system.time_since_epoch()).count();
    return JulianTime(utcMicros + platform::localUtcOffsetSeconds() * JulianTime::kSecond);
}

int run(const std::vector<std::string>& argv) {
    tool::ToolArgs args({"--ratio", "--start", "--slack", "--line", "--maxtbc", "--dir"},
                        {"--monitor", "--tone"});
    if (!args.parse(argv)) return tool::usageError(kName, args.error(), kUsage);
    if (args.helpRequested()) {
        std::printf("usage: %s\n\n%s", kUsage, kHelp);
        return tool::kExitOk;
    }
    if (args.positional().size() != 1) {
        return tool::usageError(kName, "exactly one capture file is needed", kUsage);
    }
    const std::string capture = args.positional().front();

    AppSettings settings = [] {
        platform::QtProfileStore store;
        appSettings().load(store);
        return appSettings();
    }();
    const auto ratio = args.integer("--ratio", settings.RecordDivrat & 0xFF, 1, 64);
    const auto slack = args.integer("--slack", settings.autoSlack, 0, 1000);
    const auto line = args.integer("--line", settings.autoLineLength, 0, 100000);
    const auto maxTbc = args.integer("--maxtbc", settings.autoMaxTBC, 1, INT32_MAX);
    if (!ratio || !slack || !line || !maxTbc) return tool::usageError(kName, args.error(), kUsage);
    std::optional<JulianTime> start;
    if (auto text = args.value("--start")) {
        start = parseStart(*text);
        if (!start) {
            return tool::usageError(
                kName, "--start needs \"YYYY-MM-DD hh:mm:ss\", not '" + *text + "'", kUsage);
        }
    }
    settings.RecordDivrat = static_cast<int32_t>(*ratio);
    settings.autoSlack = static_cast<int32_t>(*slack);
    settings.autoLineLength = static_cast<int32_t>(*line);
    settings.autoMaxTBC = static_cast<int32_t>(*maxTbc);
    if (args.has("--tone")) settings.RecordUseCalTone = 1;
    if (auto dir = args.value("--dir")) settings.GPath = *dir;
    if (settings.GPath.empty() || settings.GPath.back() != '/') settings.GPath += '/';
    settings.TimeKeeping = 0;  // a capture has only the module's own clock

    std::vector<uint8_t> bytes;
    if (!platform::readRegularFile(capture, kMaxCaptureBytes, bytes)) {
        std::fprintf(stderr, "Cannot open file %s\n", capture.c_str());
        return tool::kExitBadFile;
    }
    if (!start) {
        const auto written = modificationTime(capture);
        if (!written) {
            std::fprintf(stderr, "Cannot open file %s\n", capture.c_str());
            return tool::kExitBadFile;
        }
        start = *written - capturedSpan(bytes);
    }

    acquisition::RecordingControl control(settings);
    // The device clock of a replay runs with the capture: it starts at the capture's start and
    // then reads wherever the module's clock has got to.
    bool begun = false;
    acquisition::RecordingControl::Hooks hooks;
    hooks.clock = [&] {
        if (!begun) {
            begun = true;
            return *start;
        }
        return control.detectorClock();
    };
    control.setHooks(hooks);
    control.setMonitorMode(args.has("--monitor"));
    control.setOffline(true);
    control.prepareAccumulator();
    control.beginStream();

    bool ok = true;
    const std::span<const uint8_t> all(bytes);
    for (size_t at = 0; ok && at < all.size(); at += kChunk) {
        ok = control.feedStream(all.subspan(at, std::min(kChunk, all.size() - at)));
        control.drainDisplay({});
        printSaved(control);
    }
    if (ok) ok = control.endOfInput();
    if (ok) {
        // The module falls silent for good.
        SequenceFile& sequence = control.accumulator();
        int32_t r = 0;
        if (args.has("--monitor")) {
            const int64_t ticks = settings.autoMaxTBC / SequenceFile::kIdleTick + 2;
            for (int64_t i = 0; i < ticks && r == 0; ++i) r = sequence.idleTick();
        } else {
            r = sequence.saveNow();
        }
        ok = r >= 0;
    }
    printSaved(control);
    if (!ok) {
        std::fprintf(stderr, "zelkora-tool replay: a sequence file could not be written\n");
        return tool::kExitFailure;
    }
    return tool::kExitOk;
}

const tool::CommandRegistration registration{
    {kName, "feed a captured module byte stream through the recorder, writing its files", &run}};

}  // namespace
