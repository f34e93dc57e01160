#pragma once
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "platform/Canvas.h"

namespace platform::qt {

// The off-screen canvas as a 5-6-5 image drawn through QPainter: fills, pixels, lines and
// text alike.
class QtPainterCanvas : public Canvas {
  public:
    QtPainterCanvas(int32_t width, int32_t height, const QFont& font);
    ~QtPainterCanvas() override;

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    const uint16_t* pixels() const override { return memory_.data(); }
    int32_t stridePixels() const override { return stride_; }

    void fillRect(const PixelRect& rect, ColourRef colour) override;
    void setPixel(int32_t x, int32_t y, ColourRef colour) override;
    void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, ColourRef colour) override;
    bool textExtent(std::string_view text, TextExtent& extent) const override;
    void drawText(const PixelRect& rect, std::string_view text, TextAlign align,
                  ColourRef foreground, ColourRef background) override;

    // The pixels as an image sharing this canvas's memory.
    static QImage imageOf(const Canvas& canvas);

  private:
    int32_t width_, height_, stride_;
    std::vector<uint16_t> memory_;
    QImage image_;
    QFont font_;
    QFontMetrics metrics_;
    std::unique_ptr<QPainter> painter_;
};

QColor toQColor(ColourRef colour);
// Draws one line of text the way every canvas and window here does: the advance width and
// font height make the cell, which is filled with `background` when given.
void drawTextCell(QPainter& painter, const QFontMetrics& metrics, const PixelRect& rect,
                  std::string_view text, TextAlign align, ColourRef foreground,
                  const ColourRef* background);

}  // namespace platform::qt
