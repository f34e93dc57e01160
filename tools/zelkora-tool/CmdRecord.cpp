#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/RecordingControl.h"
#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/InputLines.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtProfileStore.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/HeadlessRecording.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kName = "record";
constexpr const char* kUsage =
    "zelkora-tool record [--port N] [--monitor] [--seconds S] [--dir DIR] [--gps N]";
constexpr const char* kHelp =
    "Records from the DETLINK module without a window, with the recorder's own code.\n"
    "The module is checked on port N (default: the SerialPort setting); when it does not\n"
    "answer, the listed ports are searched for it and each step of the search is printed.\n"
    "Then the stream is recorded until S seconds have passed (default: until SIGINT,\n"
    "SIGTERM or SIGHUP), after which the module is stopped with 'g' and the tool exits with 0.\n"
    "\n"
    "  --port N     the module's port number (COM number; 200 and up are virtual ports)\n"
    "  --monitor    Monitor mode: every sequence holding bat calls is saved by itself.\n"
    "               Without it, Record mode: a line on standard input saves the newest\n"
    "               data (at most 15 seconds), as the \"Save\" command does.\n"
    "  --seconds S  stop after S seconds\n"
    "  --dir DIR    the sequence folder (default: the GPath setting); created when missing,\n"
    "               and made again when it vanishes during the recording (while the folder\n"
    "               holding it is still there; otherwise files go to the default folder)\n"
    "  --gps N      poll a GPS receiver on port N (at the GPSbaudrate setting) once a second:\n"
    "               every file written while its fix is fresh carries the position, and the\n"
    "               track goes to GPS.zlg in the sequence folder; a receiver whose port\n"
    "               goes away (unplugged) is opened again as soon as it is back\n"
    "\n"
    "Every file written is printed as \"saved NAME\" as soon as it is written. In Monitor mode\n"
    "a pass still being recorded at the end is saved too. When a file cannot be written\n"
    "(a full disk, a vanished card), standard error says so once and the recording goes on:\n"
    "the sequence waits in memory and is written as soon as the disk takes files again.\n"
    "Sequences still unwritten at the end are reported and give exit status 1. When the\n"
    "sequence folder vanishes, standard error says where the files go from then on. The\n"
    "recording ends with \"DETLINK error\" and exit status 1 only when the module fails,\n"
    "and no recording starts when no module is found. A module whose line goes away\n"
    "(unplugged, the port hung up or failing) is such a failure: the recording ends within\n"
    "about a second, after a line naming the port. A module that merely sends nothing is\n"
    "silence.\n";

// The display tick of the live view.
constexpr auto kTick = std::chrono::milliseconds(25);
// Time for the 'g' to leave the line before the port is closed with the process.
constexpr auto kLinger = std::chrono::milliseconds(100);

void printSaved(const std::string& name) {
    std::printf("saved %s\n", name.c_str());
    std::fflush(stdout);
}

void printError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

int run(const std::vector<std::string>& argv) {
    tool::ToolArgs args({"--port", "--seconds", "--dir", "--gps"}, {"--monitor"});
    if (const auto done = tool::parseOptionsOnly(args, argv, kName, kUsage, kHelp)) return *done;
    const auto port = args.integer("--port", 0, 1, 9999);
    const auto seconds = args.integer("--seconds", 0, 0, 100000000);
    const auto gpsPort = args.integer("--gps", 0, 1, 9999);
    if (!port || !seconds || !gpsPort) return tool::usageError(kName, args.error(), kUsage);

    AppSettings& settings = appSettings();
    {
        platform::QtProfileStore store;
        settings.load(store);
    }
    if (args.has("--port")) settings.SerialPort = static_cast<int32_t>(*port);
    if (auto dir = args.value("--dir"); dir && !tool::useSequenceFolder(settings, *dir)) {
        std::fprintf(stderr, "zelkora-tool record: cannot create the folder %s\n",
                     settings.GPath.c_str());
        return tool::kExitFailure;
    }
    const bool monitor = args.has("--monitor");

    platform::installStopSignalHandlers();
    tool::HeadlessRecording recording(settings, [](const std::string& status) {
        std::printf("%s\n", status.c_str());
        std::fflush(stdout);
    });
    ZelkoraDoc& doc = recording.doc();
    doc.setRemakeMissingFolder(args.has("--dir"));
    std::string why;
    if (!recording.start(monitor, why)) {
        std::fprintf(stderr, "zelkora-tool record: %s\n", why.c_str());
        return tool::kExitFailure;
    }
    // The GPS as the document polls it: the position goes into every file written next.
    if (args.has("--gps") &&
        !recording.connectGps(static_cast<int32_t>(*gpsPort), settings.GPSbaudrate, why)) {
        std::fprintf(stderr, "zelkora-tool record: %s\n", why.c_str());
    }
    recording.doc().gps().setReopenLostPort(true);
    std::printf("%s on port %d\n", monitor ? "Monitoring" : "Recording",
                static_cast<int>(settings.SerialPort));
    std::fflush(stdout);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    bool readInput = !monitor;
    while (!platform::stopSignalReceived() && recording.control().recording()) {
        if (*seconds > 0 && Clock::now() - begin >= std::chrono::seconds(*seconds)) break;
        if (readInput) {
            std::string line;
            switch (platform::readInputLine(line, static_cast<int>(kTick.count()))) {
                case platform::InputLine::Line:
                    doc.SaveRecording();
                    break;
                case platform::InputLine::Closed:
                    readInput = false;
                    break;
                case platform::InputLine::Timeout:
                    break;
            }
        } else {
            std::this_thread::sleep_for(kTick);
        }
        recording.tick(printSaved);
    }

    const bool failed = recording.moduleFailed();
    recording.stop(printSaved);
    if (failed) {
        recording.describeFailure([](const std::string& line) {
            printError(line == acquisition::RecordingControl::kModuleErrorText
                           ? line
                           : "zelkora-tool record: " + line);
        });
        return tool::kExitFailure;
    }
    if (const int32_t unsaved = recording.unsavedCount(); unsaved > 0) {
        std::fprintf(stderr, "zelkora-tool record: %d sequence%s could not be written\n",
                     static_cast<int>(unsaved), unsaved == 1 ? "" : "s");
        return tool::kExitFailure;
    }
    std::this_thread::sleep_for(kLinger);
    return tool::kExitOk;
}

const tool::CommandRegistration registration{
    {kName, "record from the DETLINK module (Record or Monitor mode) without a window", &run}};
}  // namespace
