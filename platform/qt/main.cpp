#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QStringList>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/MessageSink.h"
#include "platform/UiThread.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/ZelkoraFrame.h"

namespace {

QMessageBox::Icon toIcon(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Information:
            return QMessageBox::Information;
        case platform::MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case platform::MessageIcon::Error:
            return QMessageBox::Critical;
        case platform::MessageIcon::Question:
            return QMessageBox::Question;
        default:
            return QMessageBox::NoIcon;
    }
}

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

    platform::setMessageHandler([](const std::string& text, platform::MessageIcon icon) {
        QMessageBox box(toIcon(icon), "Zelkora", QString::fromStdString(text), QMessageBox::Ok);
        box.exec();
    });
    platform::setUiTaskPoster([](platform::Task task) {
        QMetaObject::invokeMethod(
            qApp, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
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
    frame.resize(960, 600);
    frame.show();
    frame.view().InitialUpdate();

    const int result = QApplication::exec();
    settings.save(store);
    platform::setUiTaskPoster({});
    platform::setMessageHandler({});
    return result;
}
