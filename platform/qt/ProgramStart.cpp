#include "platform/qt/ProgramStart.h"

#include <QEvent>
#include <QTimer>
#include <functional>
#include <utility>

namespace platform {

namespace {

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

AppSettings& loaded(AppSettings& settings, QtProfileStore& store) {
    loadStartSettings(settings, store);
    return settings;
}

}  // namespace

void loadStartSettings(AppSettings& settings, QtProfileStore& store) {
    settings.load(store);
    settings.FullScreen = 0;
    settings.KeyShifted = 1;
}

bool showAtStart(ZelkoraFrame& frame, ZelkoraDoc& doc, const QStringList& files) {
    if (frame.view().StartGraphics() != 0) return false;
    if (!files.isEmpty()) {
        doc.OpenPath(files.first().toStdString());
    } else {
        doc.OpenAtStart();
    }
    frame.ShowCurrentFile();
    frame.ShowOnScreen();
    frame.view().InitialUpdate();
    // The window is on the screen before a large card is swept and its files' sizes looked at.
    new AfterFirstPaint(frame.view(), [&doc] { doc.FinishStartScan(); });
    return true;
}

ProgramWindow::ProgramWindow()
    : settings(loaded(appSettings(), store)), doc(settings, store), frame(settings, doc) {}

}  // namespace platform
