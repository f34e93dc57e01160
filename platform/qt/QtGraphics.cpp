#include "platform/qt/QtGraphics.h"

#include <QGuiApplication>
#include <QScreen>
#include <set>
#include <utility>

#include "platform/NativeSurfaceRules.h"
#include "platform/qt/QtPainterCanvas.h"

namespace platform::qt {

QtWindowDc::QtWindowDc(QPainter& painter, const QFont& font) : painter_(painter), metrics_(font) {
    painter_.setFont(font);
}

void QtWindowDc::blit(const Canvas& canvas, const PixelRect& s, int32_t destX, int32_t destY) {
    if (s.empty()) return;
    painter_.drawImage(QPoint(destX, destY), QtPainterCanvas::imageOf(canvas),
                       QRect(s.left, s.top, s.width(), s.height()));
}

void QtWindowDc::fillRect(const PixelRect& r, ColourRef colour) {
    if (!r.empty())
        painter_.fillRect(QRect(r.left, r.top, r.width(), r.height()), toQColor(colour));
}

void QtWindowDc::drawText(const PixelRect& rect, std::string_view text, TextAlign align,
                          ColourRef foreground) {
    drawTextCell(painter_, metrics_, rect, text, align, foreground, nullptr);
}

namespace {

// Once per path and reason: a path is tried again at every re-layout.
void reportRefusal(const char* path, const char* reason) {
    static std::set<std::pair<const char*, const char*>> said;
    if (said.emplace(path, reason).second) qWarning("%s path refused: %s", path, reason);
}

constexpr const char* kFrameBufferPath = "GAPI";
constexpr const char* kNativePath = "DirectDraw";

// The frame buffer the window shows as is: written in place, shown on the next paint.
class FrameBufferDisplay : public DirectDisplay {
  public:
    explicit FrameBufferDisplay(ScreenHost& host) : host_(host) {}
    bool open() override {
        if (const char* refusal =
                NativeSurfaceRules::FrameBufferOpenRefusal(host_.hostPixelRatio())) {
            reportRefusal(kFrameBufferPath, refusal);
            return false;
        }
        const QImage* image = host_.frameBuffer();
        return image != nullptr && !image->isNull();
    }
    DisplayProperties properties() const override {
        DisplayProperties p;
        const QImage* image = host_.frameBuffer();
        if (image == nullptr) return p;
        p.width = static_cast<uint32_t>(image->width());
        p.height = static_cast<uint32_t>(image->height());
        p.xPitch = image->depth() / 8;
        p.yPitch = static_cast<int32_t>(image->bytesPerLine());
        p.bitsPerPixel = static_cast<uint32_t>(image->depth());
        p.direct565 = image->format() == QImage::Format_RGB16;
        return p;
    }
    uint8_t* beginDraw() override {
        QImage* image = host_.frameBuffer();
        return image != nullptr ? image->bits() : nullptr;
    }
    void endDraw() override {}
    void close() override {}

  private:
    ScreenHost& host_;
};

// The window's own backing store, written in place while a paint is under way. The store
// exists only during a paint, so it is described from the screen at open and checked at
// every paint; a store that cannot serve is refused for the rest of the run.
class NativeSurfaceDisplay : public DirectDisplay {
  public:
    NativeSurfaceDisplay(ScreenHost& host, bool& refused) : host_(host), refused_(refused) {}
    bool open() override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const char* refusal = screen == nullptr ? "there is no screen"
                                                : NativeSurfaceRules::OpenRefusal(
                                                      screen->depth(), host_.exactPixelRatio());
        if (refusal != nullptr) {
            reportRefusal(kNativePath, refusal);
            return false;
        }
        return true;
    }
    DisplayProperties properties() const override {
        DisplayProperties p;
        p.width = static_cast<uint32_t>(host_.hostWidth() * host_.hostPixelRatio());
        p.height = static_cast<uint32_t>(host_.hostHeight() * host_.hostPixelRatio());
        p.bitsPerPixel = 16;
        p.xPitch = 2;
        p.yPitch = static_cast<int32_t>(p.width * 2);
        p.direct565 = true;
        return p;
    }
    uint8_t* beginDraw() override {
        NativeStoreFacts f;
        f.painting = host_.hostPainting();
        QPoint offset;
        QImage* image = f.painting ? host_.nativeSurface(offset) : nullptr;
        if (image != nullptr && !image->isNull()) {
            f.present = true;
            f.is565 = image->format() == QImage::Format_RGB16;
            f.storeWidth = image->width();
            f.storeHeight = image->height();
            f.bytesPerLine = static_cast<int32_t>(image->bytesPerLine());
            f.offsetX = offset.x();
            f.offsetY = offset.y();
        }
        const DisplayProperties p = properties();
        f.viewWidth = static_cast<int32_t>(p.width);
        f.viewHeight = static_cast<int32_t>(p.height);
        if (const char* refusal = NativeSurfaceRules::DrawRefusal(f, p.yPitch)) {
            reportRefusal(kNativePath, refusal);
            if (f.painting) refused_ = true;
            return nullptr;
        }
        return image->bits() + offset.y() * image->bytesPerLine() + offset.x() * 2;
    }
    void endDraw() override {}
    void close() override {}

  private:
    ScreenHost& host_;
    bool& refused_;
};

}  // namespace

QtGraphicsPlatform::QtGraphicsPlatform(ScreenHost& host, const QFont& font)
    : host_(host), font_(font), metrics_(font) {}

int32_t QtGraphicsPlatform::systemMajorVersion() const {
    return QGuiApplication::instance() != nullptr ? QT_VERSION_MAJOR : 0;
}

std::unique_ptr<DirectDisplay> QtGraphicsPlatform::loadFrameBuffer() {
    return std::make_unique<FrameBufferDisplay>(host_);
}

std::unique_ptr<DirectDisplay> QtGraphicsPlatform::loadNativeSurface() {
    if (nativeRefused_) return nullptr;
    return std::make_unique<NativeSurfaceDisplay>(host_, nativeRefused_);
}

std::unique_ptr<Canvas> QtGraphicsPlatform::createCanvas(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return nullptr;
    return std::make_unique<QtPainterCanvas>(width, height, font_);
}

bool QtGraphicsPlatform::textExtent(std::string_view text, TextExtent& extent) const {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    extent.width = metrics_.horizontalAdvance(s);
    extent.height = metrics_.height();
    return true;
}

ImageScreenHost::ImageScreenHost(int32_t width, int32_t height)
    : width_(width), height_(height), image_(width, height, QImage::Format_RGB16) {
    image_.fill(Qt::white);
}

}  // namespace platform::qt
