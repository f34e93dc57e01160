#include "platform/qt/ScreenFit.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QWidget>

#include "display/WindowFit.h"

namespace platform::qt {

namespace {

const QScreen* screenOf(const QWidget* near) {
    if (near != nullptr && near->screen() != nullptr) return near->screen();
    return QGuiApplication::primaryScreen();
}

// A drop-down list draws its rows with a delegate that ignores the style sheet, so they
// stayed as small as on a desktop; every combo box gets one that honours the rows' height.
class FingerSizedDropDowns : public QObject {
  public:
    explicit FingerSizedDropDowns(QObject* parent) : QObject(parent) { setObjectName(kName); }
    static constexpr const char* kName = "fingerSizedDropDowns";

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish) {
            auto* combo = qobject_cast<QComboBox*>(watched);
            if (combo != nullptr &&
                qobject_cast<QStyledItemDelegate*>(combo->itemDelegate()) == nullptr)
                combo->setItemDelegate(new QStyledItemDelegate(combo));
        }
        return false;
    }
};

}  // namespace

QSize roomForDialog(const QWidget* near) {
    const QScreen* screen = screenOf(near);
    if (screen == nullptr) return {640, 480};
    return screen->availableGeometry().size() -
           QSize(0, QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

void showCoveringScreen(QWidget& window, const QWidget* near) {
    const QScreen* screen = screenOf(near);
    const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 800, 480);
    if (qobject_cast<QDialog*>(&window) != nullptr) {
        window.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    }
    // Without a window manager nothing sizes a full-screen window but this. A Wayland
    // compositor always does, and keeps the size the window has when it goes full screen
    // as the one to give back when it leaves: given the screen's, it never got its own back.
    // A maximised window already fills the screen there is; a window manager took the
    // screen's size for the one to restore it to.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
        !window.isMaximized())
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
        QDialog QScrollBar:vertical { width: %1px; }
        QDialog QScrollBar:horizontal { height: %1px; }
    )")
                            .arg(f)
                            .arg(mark));
    if (qApp->findChild<QObject*>(FingerSizedDropDowns::kName, Qt::FindDirectChildrenOnly) ==
        nullptr)
        qApp->installEventFilter(new FingerSizedDropDowns(qApp));
}

}  // namespace platform::qt
