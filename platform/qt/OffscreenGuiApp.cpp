#include "platform/qt/OffscreenGuiApp.h"

#include <QString>
#include <cstdio>

#include "platform/qt/DecimalPoint.h"

namespace platform::qt {

namespace {

QtMessageHandler passedOn = nullptr;

void leaveOutNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    // Which way a window's plot reaches the screen means nothing for a picture drawn to a
    // file, and "DirectDraw path refused" on every render only puzzles the user.
    if (message.startsWith(QLatin1String("GAPI path refused:")) ||
        message.startsWith(QLatin1String("DirectDraw path refused:"))) {
        return;
    }
    if (passedOn != nullptr) {
        passedOn(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

}  // namespace

QtMessageHandler OffscreenGuiApp::prepare() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    passedOn = qInstallMessageHandler(leaveOutNotices);
    return passedOn;
}

OffscreenGuiApp::OffscreenGuiApp() : previous_(prepare()), app_(argc_, argv_) {
    keepDecimalPoint();
}

OffscreenGuiApp::~OffscreenGuiApp() {
    qInstallMessageHandler(previous_);
}

}  // namespace platform::qt
