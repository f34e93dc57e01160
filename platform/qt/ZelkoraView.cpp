#include "platform/qt/ZelkoraView.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <cmath>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "display/ViewInput.h"
#include "display/WindowFit.h"
#include "platform/LocalClock.h"
#include "platform/MessageSink.h"
#include "platform/qt/QtViewFont.h"

ZelkoraView::ZelkoraView(AppSettings& settings, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      font_(platform::qt::viewFont(platform::qt::screenDotsPerInch())),
      platform_(*this, font_),
      surface_(platform_),
      view_(settings, surface_, platform_) {
    // The menu bar lies outside the view here, so nothing is taken off for bars.
    view_.SetBarHeight(0);
    view_.invalidate = [this] { update(); };
    paintsIntoFreshBuffers_ = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    // Narrower than this, the status line's fields would run into each other, with the
    // widest notice the document puts before a file's name.
    platform::TextExtent d3, d4, m, notice;
    int32_t widestNotice = 0;
    for (const char* text :
         {ZelkoraDoc::kCorruptText, ZelkoraDoc::kCannotOpenText, ZelkoraDoc::kRecordingText}) {
        if (platform_.textExtent(text, notice)) widestNotice = std::max(widestNotice, notice.width);
    }
    if (platform_.textExtent("000", d3) && platform_.textExtent("0000", d4) &&
        platform_.textExtent("m", m)) {
        setMinimumSize(
            std::max(240, WindowFit::MinimumViewWidth(d3.width, d4.width, m.width, widestNotice)),
            180);
    } else {
        setMinimumSize(240, 180);
    }
    makeFrameBuffer(hostPixelRatio());
}

ZelkoraView::~ZelkoraView() {
    view_.SetClosing();
}

int32_t ZelkoraView::hostPixelRatio() const {
    return std::max(1, static_cast<int32_t>(std::lround(devicePixelRatioF())));
}

QImage* ZelkoraView::nativeSurface(QPoint& offset) {
    // Outside a paint the store may have no image yet, and asking it for its device then
    // crashes inside the window system (a scaled screen before the first paint).
    if (!painting_ || backingStore() == nullptr) return nullptr;
    auto* image = dynamic_cast<QImage*>(backingStore()->paintDevice());
    if (image == nullptr || image->format() != QImage::Format_RGB16) return nullptr;
    offset = mapTo(window(), QPoint(0, 0)) * hostPixelRatio();
    return image;
}

QImage* ZelkoraView::frameBuffer() {
    // A hidden window gets its resize event only when shown: follow the size now. A new
    // pixel ratio waits for the next paint, which sets the surface up again for it: made
    // here, the image would be written at the old one's row length, past its end.
    if (frame_.width() != std::max(1, width()) * frameRatio_ ||
        frame_.height() != std::max(1, height()) * frameRatio_) {
        makeFrameBuffer(frameRatio_);
    }
    return &frame_;
}

void ZelkoraView::makeFrameBuffer(int32_t ratio) {
    frameRatio_ = ratio;
    frame_ =
        QImage(std::max(1, width()) * ratio, std::max(1, height()) * ratio, QImage::Format_RGB16);
    frame_.setDevicePixelRatio(ratio);
    frame_.fill(Qt::white);
}

int ZelkoraView::StartGraphics() {
    int code = surface_.Init(settings_.GraphicsSystem);
    if (code != GraphicsSurface::kOk) {
        // The program stays usable: the message, then the painter path.
        const std::string text = GraphicsSurface::MessageForCode(code);
        platform::showMessage(text, platform::MessageIcon::Error);
        code = surface_.FallBackToDeviceContext();
    }
    return code;
}

void ZelkoraView::ShowDocument(const DotStore* dots, const std::string& nameText,
                               const std::string& notice) {
    view_.SetSequence(dots);
    view_.SetNameText(nameText, notice);
    if (started_) view_.OnFileLoaded();
}

void ZelkoraView::InitialUpdate() {
    started_ = true;
    view_.OnInitialUpdate();
    if (!clock_.isActive()) clock_.start(1000, this);
    update();
}

void ZelkoraView::ChooseGraphics(int32_t graphicsSystem) {
    view_.ChooseGraphics(graphicsSystem);
    update();
}

void ZelkoraView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    followSize();
}

void ZelkoraView::followSize() {
    makeFrameBuffer(hostPixelRatio());
    // A direct path is described by its size: open it again for the new one.
    const GraphicsBackEnd backEnd = surface_.GetBackEnd();
    if (backEnd == GraphicsBackEnd::Gapi || backEnd == GraphicsBackEnd::DirectDraw) {
        if (surface_.Reset(settings_.GraphicsSystem) != GraphicsSurface::kOk) {
            surface_.FallBackToDeviceContext();
        }
    }
    if (started_ && view_.Layout()) view_.FullRedraw();
}

void ZelkoraView::paintEvent(QPaintEvent*) {
    // On a screen of another pixel ratio (dragged from a laptop's panel to a monitor beside
    // it) the view keeps its size, not its device pixels: set up again as for a new size.
    if (hostPixelRatio() != frameRatio_) followSize();
    QPainter window(this);
    painting_ = true;
    if (surface_.GetBackEnd() == GraphicsBackEnd::Gapi) {
        {
            QPainter frame(&frame_);
            platform::qt::QtWindowDc dc(frame, font_);
            view_.OnPaint(dc);
        }
        window.drawImage(QPoint(0, 0), frame_);
    } else {
        if (!view_.layoutOk()) window.fillRect(rect(), Qt::white);
        // A Wayland window is painted in whichever of its buffers the compositor has given
        // back, which holds no paint or an older one: what this paint leaves out shows
        // black or stale there (the whole plot, behind a clock tick's status line).
        if (paintsIntoFreshBuffers_) view_.MarkAllForPaint();
        platform::qt::QtWindowDc dc(window, font_);
        view_.OnPaint(dc);
    }
    painting_ = false;
    // A direct path that could not put this paint on the screen gives way to the next.
    if (surface_.presentRefused()) {
        surface_.TakeNextPath();
        if (started_ && view_.Layout()) view_.FullRedraw();
        update();
    }
}

void ZelkoraView::StartKeyGuardTimer() {
    keyGuard_.start(ViewInput::kKeyGuardMillis, this);
}

void ZelkoraView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton && input_ != nullptr && input_->Tap(p.x(), p.y())) {
        return;
    }
    QWidget::mousePressEvent(event);
}

void ZelkoraView::keyPressEvent(QKeyEvent* event) {
    using K = KeyCommands::Key;
    K key;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            key = K::Return;
            break;
        case Qt::Key_Left:
            key = K::Left;
            break;
        case Qt::Key_Right:
            key = K::Right;
            break;
        case Qt::Key_Up:
            key = K::Up;
            break;
        case Qt::Key_Down:
            key = K::Down;
            break;
        // The handheld's application buttons 1-4.
        case Qt::Key_F1:
            key = K::Button1;
            break;
        case Qt::Key_F2:
            key = K::Button2;
            break;
        case Qt::Key_F3:
            key = K::Button3;
            break;
        case Qt::Key_F4:
            key = K::Button4;
            break;
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
            key = K::Ignored;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    if (input_ == nullptr) {
        QWidget::keyPressEvent(event);
        return;
    }
    input_->Key(key);
}

void ZelkoraView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == keyGuard_.timerId()) {
        keyGuard_.stop();
        if (input_ != nullptr) input_->KeyGuardExpired();
        return;
    }
    if (event->timerId() != clock_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    // The one-second task first, so the clock shows the GPS state that task has just read.
    if (onSecond) onSecond();
    const platform::LocalClockReading now = platform::readLocalClock();
    view_.ClockTick(now.hour, now.minute, now.second);
}

void ZelkoraView::closeEvent(QCloseEvent* event) {
    view_.SetClosing();
    clock_.stop();
    keyGuard_.stop();
    QWidget::closeEvent(event);
}
