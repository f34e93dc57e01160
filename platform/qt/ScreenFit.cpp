#include "platform/qt/ScreenFit.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWidget>
#include <QWindow>

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

WindowFit::Box boxOf(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

// Moves the dialog holding the focus out from under the on-screen keyboard, and back where
// it was when the keyboard goes or the focus leaves it.
class KeyboardDodge : public QObject {
  public:
    explicit KeyboardDodge(QObject* parent) : QObject(parent) {
        setObjectName(kName);
        QInputMethod* im = QGuiApplication::inputMethod();
        // Queued: the keyboard's rectangle and the focus settle in several steps.
        auto later = [this] { QTimer::singleShot(0, this, &KeyboardDodge::arrange); };
        connect(im, &QInputMethod::visibleChanged, this, later);
        connect(im, &QInputMethod::keyboardRectangleChanged, this, later);
        connect(qApp, &QApplication::focusChanged, this, later);
        qApp->installEventFilter(this);
    }
    static constexpr const char* kName = "keyboardDodge";

  protected:
    // A tap that hid the keyboard ends before the dialog moves back: moved under the
    // finger, the button tapped saw its release outside and never clicked.
    bool eventFilter(QObject*, QEvent* event) override {
        if (waitingForRelease_ && event->type() == QEvent::MouseButtonRelease) {
            waitingForRelease_ = false;
            QTimer::singleShot(0, this, &KeyboardDodge::arrange);
        }
        return false;
    }

  private:
    void arrange() {
        const QInputMethod* im = QGuiApplication::inputMethod();
        // Qt's keyboard is drawn in a window of Qt Quick's own, the only one this program
        // has; every dialog is modal and blocked every tap on it, so it goes with the dialog.
        if (im->isVisible()) {
            for (QWindow* window : QGuiApplication::topLevelWindows()) {
                if (window->inherits("QQuickWindow") &&
                    window->transientParent() != QGuiApplication::modalWindow())
                    window->setTransientParent(QGuiApplication::modalWindow());
            }
        }
        QWidget* field = QApplication::focusWidget();
        QWidget* dialog = field != nullptr ? field->window() : nullptr;
        const bool editing = im->isVisible() && qobject_cast<QDialog*>(dialog) != nullptr &&
                             field->testAttribute(Qt::WA_InputMethodEnabled);
        if (moved_ != nullptr && (!editing || dialog != moved_)) {
            if (QGuiApplication::mouseButtons() != Qt::NoButton) {
                waitingForRelease_ = true;
                return;
            }
            moved_->move(home_);
            moved_ = nullptr;
        }
        if (!editing || dialog->screen() == nullptr) return;
        if (moved_ == nullptr) home_ = dialog->pos();
        // The frame as it stands at home.
        const QRect frame = dialog->frameGeometry();
        const int top = WindowFit::DialogTopOverKeyboard(
            boxOf(dialog->screen()->availableGeometry()), boxOf(im->keyboardRectangle().toRect()),
            boxOf(frame.translated(home_ - frame.topLeft())));
        moved_ = dialog;
        if (dialog->pos() != QPoint(home_.x(), top)) dialog->move(home_.x(), top);
    }

    QPointer<QWidget> moved_;
    QPoint home_;
    bool waitingForRelease_ = false;
};

}  // namespace

void keepDialogsAboveKeyboard() {
    if (qApp->findChild<QObject*>(KeyboardDodge::kName, Qt::FindDirectChildrenOnly) == nullptr)
        new KeyboardDodge(qApp);
}

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
