#include "platform/qt/QtUiHandlers.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "platform/MessageSink.h"
#include "platform/UiThread.h"

namespace platform {

namespace {

QMessageBox::Icon toIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

void installQtUiHandlers() {
    setMessageHandler([](const std::string& text, MessageIcon icon) {
        auto show = [message = QString::fromStdString(text), icon] {
            QMessageBox box(toIcon(icon), "Zelkora", message, QMessageBox::Ok);
            box.exec();
        };
        // The recording worker reports a failed save too; widgets live on the UI thread
        // only, and the worker must not wait for the user to close the box.
        if (QThread::currentThread() == qApp->thread()) {
            show();
        } else {
            QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
        }
    });
    setUiTaskPoster([](Task task) {
        QMetaObject::invokeMethod(
            qApp, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
    });
}

void removeQtUiHandlers() {
    setUiTaskPoster({});
    setMessageHandler({});
}

}  // namespace platform
