#pragma once
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPoint>

#include "platform/GraphicsPlatform.h"

namespace platform::qt {

// What the drawing surface reaches the screen through: a window (or, headless, an image)
// with its logical size, device-pixel ratio, the 5-6-5 frame buffer it shows as is, and,
// where the window system gives one, its native 5-6-5 backing store.
class ScreenHost {
  public:
    virtual ~ScreenHost() = default;
    virtual int32_t hostWidth() const = 0;   // logical pixels
    virtual int32_t hostHeight() const = 0;  // logical pixels
    virtual int32_t hostPixelRatio() const = 0;
    // The ratio as the window system has it, which may be fractional (1.25, 1.5).
    virtual double exactPixelRatio() const { return hostPixelRatio(); }
    // The frame buffer: RGB16, device pixels; null when there is none.
    virtual QImage* frameBuffer() = 0;
    // The native backing store with the offset of the view in it (device pixels); null when
    // it is not reachable. Asked for only while the host paints.
    virtual QImage* nativeSurface(QPoint& offset) = 0;
    virtual bool hostPainting() const { return false; }
};

// A window context: everything through one QPainter.
class QtWindowDc : public WindowDc {
  public:
    QtWindowDc(QPainter& painter, const QFont& font);
    void blit(const Canvas& canvas, const PixelRect& source, int32_t destX, int32_t destY) override;
    void fillRect(const PixelRect& rect, ColourRef colour) override;
    void drawText(const PixelRect& rect, std::string_view text, TextAlign align,
                  ColourRef foreground) override;

  private:
    QPainter& painter_;
    QFontMetrics metrics_;
};

// The three paths behind GraphicsSurface, realised on a ScreenHost.
class QtGraphicsPlatform : public GraphicsPlatform {
  public:
    QtGraphicsPlatform(ScreenHost& host, const QFont& font);

    int32_t systemMajorVersion() const override;
    int32_t screenWidth() const override { return host_.hostWidth(); }
    int32_t screenHeight() const override { return host_.hostHeight(); }
    int32_t devicePixelRatio() const override { return host_.hostPixelRatio(); }
    std::unique_ptr<DirectDisplay> loadFrameBuffer() override;
    std::unique_ptr<DirectDisplay> loadNativeSurface() override;
    std::unique_ptr<Canvas> createCanvas(int32_t width, int32_t height) override;
    bool textExtent(std::string_view text, TextExtent& extent) const override;

    const QFont& font() const { return font_; }

  private:
    ScreenHost& host_;
    QFont font_;
    QFontMetrics metrics_;
    // Set when the native surface refused at a paint: it is not offered again.
    bool nativeRefused_ = false;
};

// A headless screen: an image of a fixed size that stands for the window.
class ImageScreenHost : public ScreenHost {
  public:
    ImageScreenHost(int32_t width, int32_t height);
    int32_t hostWidth() const override { return width_; }
    int32_t hostHeight() const override { return height_; }
    int32_t hostPixelRatio() const override { return 1; }
    QImage* frameBuffer() override { return &image_; }
    QImage* nativeSurface(QPoint&) override { return nullptr; }
    QImage& image() { return image_; }

  private:
    int32_t width_, height_;
    QImage image_;
};

}  // namespace platform::qt
