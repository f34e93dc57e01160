#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/QtUiHandlers.h"
#include "platform/qt/ZelkoraFrame.h"

namespace {

// The file named on the command line, else the Name setting's file, else the newest.
void openFirstFile(ZelkoraDoc& doc, const QStringList& arguments) {
    if (arguments.size() > 1) {
        doc.OpenPath(arguments.at(1).toStdString());
        return;
    }
    doc.CheckFolder();
    doc.ScanFolder();
    if (doc.currentIndex() < 0 && !doc.fileList().empty()) {
        doc.setCurrentFileName(doc.fileList().names().back());
        doc.FindCurrent();
    }
    if (!doc.fileList().empty()) doc.LoadCurrentFile();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("zelkora");
    QApplication::setOrganizationName("Chirova");

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

    openFirstFile(doc, QApplication::arguments());
    frame.ShowCurrentFile();
    frame.ShowOnScreen();
    frame.view().InitialUpdate();

    const int result = QApplication::exec();
    doc.CloseDocument();
    platform::removeQtUiHandlers();
    return result;
}
