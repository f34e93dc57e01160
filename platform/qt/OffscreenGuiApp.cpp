#include "platform/qt/OffscreenGuiApp.h"

#include <QString>
#include <cstdio>

namespace platform::qt {

namespace {

QtMessageHandler passedOn = nullptr;

void leaveOutRuntimeDirNotice(QtMsgType type, const QMessageLogContext& context,
                              const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (passedOn != nullptr) {
        passedOn(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

}  // namespace

QtMessageHandler OffscreenGuiApp::prepare() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    passedOn = qInstallMessageHandler(leaveOutRuntimeDirNotice);
    return passedOn;
}

OffscreenGuiApp::OffscreenGuiApp() : previous_(prepare()), app_(argc_, argv_) {}

OffscreenGuiApp::~OffscreenGuiApp() {
    qInstallMessageHandler(previous_);
}

}  // namespace platform::qt
