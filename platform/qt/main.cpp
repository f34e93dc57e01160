#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <string_view>

#include "app/AboutInfo.h"
#include "platform/StopSignals.h"
#include "platform/qt/DecimalPoint.h"
#include "platform/qt/ProgramStart.h"
#include "platform/qt/QtUiHandlers.h"

namespace {

const QCommandLineOption kMonitorPort(
    "record-monitor",
    "Starts recording in Monitor mode from the module on serial port <port> as soon as the "
    "window is up (the port is used for this run only).",
    "port");

void describeOptions(QCommandLineParser& parser) {
    QCoreApplication::setApplicationName("zelkora");
    QCoreApplication::setOrganizationName("Chirova");
    QCoreApplication::setApplicationVersion(
        QString::fromStdString(AboutInfo::ThisProgram().version.value_or("")));
    parser.setApplicationDescription("Records and views bat calls by zero-crossing analysis.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A sequence file to open.", "[file]");
    parser.addOption(kMonitorPort);
}

bool asksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        const std::string_view a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-?" || a == "-v" || a == "--version") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCommandLineParser parser;
    if (asksForHelp(argc, argv)) {
        // Answered without a display (on a station's terminal, over ssh): printing the
        // options or the version needs no window system, which QApplication would insist on.
        QCoreApplication core(argc, argv);
        describeOptions(parser);
        parser.process(core);  // prints the help or the version and exits
    }
    QApplication app(argc, argv);
    platform::qt::keepDecimalPoint();
    describeOptions(parser);
    parser.process(app);
    int32_t recordPort = 0;
    if (parser.isSet(kMonitorPort)) {
        bool ok = false;
        recordPort = parser.value(kMonitorPort).toInt(&ok);
        if (!ok || recordPort <= 0) {
            std::fprintf(stderr, "zelkora: --record-monitor needs a port number above 0\n");
            return 2;
        }
    }

    platform::installQtUiHandlers();

    // Logout, shutdown and a closed terminal end the program the way its Exit does, so the
    // settings are saved and a recording is stopped with its last save. Every window is
    // closed and every event loop left, a modal dialog's included.
    platform::installStopSignalHandlers();
    QSocketNotifier stopNotifier(platform::stopSignalDescriptor(), QSocketNotifier::Read);
    // The descriptor stays readable, so a signal that ends a dialog's loop before the main
    // loop has begun ends the main loop too as soon as it runs.
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [] {
        QApplication::closeAllWindows();
        QCoreApplication::exit(0);
    });

    platform::ProgramWindow program;
    AppSettings& settings = program.settings;
    ZelkoraDoc& doc = program.doc;
    ZelkoraFrame& frame = program.frame;
    if (!platform::showAtStart(frame, doc, parser.positionalArguments())) return 1;

    const int32_t savedPort = settings.SerialPort;
    const int32_t savedLastPort = settings.SerialPortLastSuccessful;
    if (recordPort > 0) {
        settings.SerialPort = recordPort;
        // Once the window is shown and laid out, as a tap on "Monitor" would.
        QTimer::singleShot(0, &frame, [&frame] { frame.live().Start(true); });
    }

    const int result = QApplication::exec();
    if (recordPort > 0) {
        // A port given for one run is not the module's port from then on.
        settings.SerialPort = savedPort;
        settings.SerialPortLastSuccessful = savedLastPort;
        // A run started from the command line is usually a demonstration or a check that the
        // display kept up with the line; this says whether it did.
        const LiveSession::Stats& st = frame.live().stats();
        std::fprintf(stderr,
                     "zelkora: live display: %lld ticks, %lld dots, slowest tick %.2f ms, "
                     "%lld Waste, %lld O'Flow\n",
                     static_cast<long long>(st.ticks), static_cast<long long>(st.dots),
                     static_cast<double>(st.slowestTickMicros) / 1000.0,
                     static_cast<long long>(st.wasteNotices),
                     static_cast<long long>(st.overflowNotices));
    }
    doc.CloseDocument();
    platform::removeQtUiHandlers();
    return result;
}
