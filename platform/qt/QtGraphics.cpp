#include "platform/qt/QtGraphics.h"

#include <QGuiApplication>
#include <QScreen>

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

// The frame buffer the window shows as is: written in place, shown on the next paint.
class FrameBufferDisplay : public DirectDisplay {
  public:
    explicit FrameBufferDisplay(ScreenHost& host) : host_(host) {}
    bool open() override {
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

// The window's own backing store, written in place while a paint is under way. Refused
// unless the screen and the store are 16-bit 5-6-5.
class NativeSurfaceDisplay : public DirectDisplay {
  public:
    explicit NativeSurfaceDisplay(ScreenHost& host) : host_(host) {}
    bool open() override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen != nullptr && screen->depth() == 16;
    }
    DisplayProperties properties() const override {
        DisplayProperties p;
        QPoint offset;
        const QImage* image = host_.nativeSurface(offset);
        p.width = static_cast<uint32_t>(host_.hostWidth() * host_.hostPixelRatio());
        p.height = static_cast<uint32_t>(host_.hostHeight() * host_.hostPixelRatio());
        p.bitsPerPixel = 16;
        p.xPitch = 2;
        p.direct565 = true;
        if (image != nullptr) {
            p.yPitch = static_cast<int32_t>(image->bytesPerLine());
            p.direct565 = image->format() == QImage::Format_RGB16;
            p.bitsPerPixel = static_cast<uint32_t>(image->depth());
        } else {
            p.yPitch = static_cast<int32_t>(p.width * 2);
        }
        return p;
    }
    uint8_t* beginDraw() override {
        QPoint offset;
        if (!host_.hostPainting()) return nullptr;
        QImage* image = host_.nativeSurface(offset);
        if (image == nullptr || image->format() != QImage::Format_RGB16) return nullptr;
        return image->bits() + offset.y() * image->bytesPerLine() + offset.x() * 2;
    }
    void endDraw() override {}
    void close() override {}

  private:
    ScreenHost& host_;
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
    return std::make_unique<NativeSurfaceDisplay>(host_);
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
