#include "platform/qt/ScreenFit.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "display/WindowFit.h"

namespace platform::qt {

namespace {

const QScreen* screenOf(const QWidget* near) {
    if (near != nullptr && near->screen() != nullptr) return near->screen();
    return QGuiApplication::primaryScreen();
}

}  // namespace

void showCoveringScreen(QWidget& window, const QWidget* near) {
    const QScreen* screen = screenOf(near);
    const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 800, 480);
    if (qobject_cast<QDialog*>(&window) != nullptr) {
        window.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    }
    window.setGeometry(area);
    window.setWindowState(window.windowState() | Qt::WindowFullScreen);
}

int fingerPixels(const QScreen* screen) {
    if (screen == nullptr) return WindowFit::FingerPixels(800, 480, 96);
    return WindowFit::FingerPixels(screen->geometry().width(), screen->geometry().height(),
                                   screen->logicalDotsPerInch());
}

void makeDialogsFingerSized(const QScreen* screen) {
    const int f = fingerPixels(screen);
    const int mark = f * 3 / 4;
    qApp->setStyleSheet(QString(R"(
        QDialog QPushButton, QDialog QComboBox, QDialog QLineEdit, QDialog QAbstractSpinBox,
        QDialog QRadioButton, QDialog QCheckBox { min-height: %1px; }
        QDialog QRadioButton::indicator, QDialog QCheckBox::indicator {
            width: %2px; height: %2px; }
        QComboBox QAbstractItemView::item { min-height: %1px; }
    )")
                            .arg(f)
                            .arg(mark));
}

}  // namespace platform::qt
