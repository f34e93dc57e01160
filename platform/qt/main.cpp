#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <utility>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/QtUiHandlers.h"
#include "platform/qt/ZelkoraFrame.h"

namespace {

// The file named on the command line, else the Name setting's file, else the newest.
void openFirstFile(ZelkoraDoc& doc, const QStringList& files) {
    if (!files.isEmpty()) {
        doc.OpenPath(files.first().toStdString());
        return;
    }
    doc.OpenAtStart();
}

// Runs `then` once, as soon as `widget` has painted for the first time: work that can wait
// for the window must not hold up its first picture, and a window manager (or none) decides
// when that comes.
class AfterFirstPaint : public QObject {
  public:
    AfterFirstPaint(QWidget& widget, std::function<void()> then)
        : QObject(&widget), then_(std::move(then)) {
        widget.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && then_) {
            watched->removeEventFilter(this);
            // Queued, so that the paint and its flush to the screen come first.
            QTimer::singleShot(0, this, std::exchange(then_, nullptr));
        }
        return false;
    }

  private:
    std::function<void()> then_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("zelkora");
    QApplication::setOrganizationName("Chirova");

    QCommandLineParser parser;
    parser.setApplicationDescription("Records and views bat calls by zero-crossing analysis.");
    parser.addHelpOption();
    parser.addPositionalArgument("file", "A sequence file to open.", "[file]");
    const QCommandLineOption monitorPort(
        "record-monitor",
        "Starts recording in Monitor mode from the module on serial port <port> as soon as the "
        "window is up (the port is used for this run only).",
        "port");
    parser.addOption(monitorPort);
    parser.process(app);
    int32_t recordPort = 0;
    if (parser.isSet(monitorPort)) {
        bool ok = false;
        recordPort = parser.value(monitorPort).toInt(&ok);
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

    platform::QtProfileStore store;
    AppSettings& settings = appSettings();
    settings.load(store);
    settings.FullScreen = 0;
    settings.KeyShifted = 1;

    ZelkoraDoc doc(settings, store);
    ZelkoraFrame frame(settings, doc);
    if (frame.view().StartGraphics() != 0) return 1;

    openFirstFile(doc, parser.positionalArguments());
    frame.ShowCurrentFile();
    frame.ShowOnScreen();
    frame.view().InitialUpdate();
    // The window is on the screen before a large card is swept and its files' sizes looked at.
    new AfterFirstPaint(frame.view(), [&doc] { doc.FinishStartScan(); });

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
