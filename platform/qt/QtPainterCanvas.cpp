#include "platform/qt/QtPainterCanvas.h"

#include <QPolygon>
#include <algorithm>
#include <cstdlib>

namespace platform::qt {

QColor toQColor(ColourRef c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

void drawTextCell(QPainter& painter, const QFontMetrics& metrics, const PixelRect& rect,
                  std::string_view text, TextAlign align, ColourRef foreground,
                  const ColourRef* background) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const int w = metrics.horizontalAdvance(s);
    const int h = metrics.height();
    int x = rect.left;
    if (align == TextAlign::Right) x = rect.right - w;
    if (align == TextAlign::Centre) x = rect.left + (rect.width() - w) / 2;
    const int y = rect.top + (rect.height() - h) / 2;
    painter.save();
    painter.setClipRect(QRect(rect.left, rect.top, rect.width(), rect.height()));
    if (background != nullptr) painter.fillRect(QRect(x, y, w, h), toQColor(*background));
    painter.setPen(toQColor(foreground));
    painter.drawText(QPoint(x, y + metrics.ascent()), s);
    painter.restore();
}

QtPainterCanvas::QtPainterCanvas(int32_t width, int32_t height, const QFont& font)
    : width_(width),
      height_(height),
      stride_((width + 1) & ~1),
      memory_(static_cast<size_t>(stride_) * height, 0),
      image_(reinterpret_cast<uchar*>(memory_.data()), width, height, stride_ * 2,
             QImage::Format_RGB16),
      font_(font),
      metrics_(font) {
    painter_ = std::make_unique<QPainter>(&image_);
    painter_->setFont(font_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setRenderHint(QPainter::TextAntialiasing, true);
}

QtPainterCanvas::~QtPainterCanvas() {
    if (painter_) painter_->end();
}

void QtPainterCanvas::fillRect(const PixelRect& r, ColourRef colour) {
    // Solid fills go straight into the memory: the painter would hand large ones to worker
    // threads, which costs more than the fill. The 5-6-5 value is the one the painter makes.
    const int32_t left = std::max(r.left, 0), top = std::max(r.top, 0);
    const int32_t right = std::min(r.right, width_), bottom = std::min(r.bottom, height_);
    if (left >= right || top >= bottom) return;
    const uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    const auto value =
        static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
    for (int32_t y = top; y < bottom; ++y) {
        uint16_t* row = memory_.data() + static_cast<size_t>(y) * stride_;
        std::fill(row + left, row + right, value);
    }
}

void QtPainterCanvas::setPixel(int32_t x, int32_t y, ColourRef colour) {
    painter_->setPen(toQColor(colour));
    painter_->drawPoint(x, y);
}

void QtPainterCanvas::line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, ColourRef colour) {
    // The end point is left out, as the handheld's line drawing did. Straight lines are
    // one-pixel fills; the painter spreads long point lists over worker threads.
    if (y0 == y1) {
        fillRect({std::min(x0, x1 + 1), y0, std::max(x0 + 1, x1), y0 + 1}, colour);
        return;
    }
    if (x0 == x1) {
        fillRect({x0, std::min(y0, y1 + 1), x0 + 1, std::max(y0 + 1, y1)}, colour);
        return;
    }
    QPolygon points;
    const int32_t dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int32_t dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int32_t err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        points << QPoint(x0, y0);
        const int32_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    if (points.isEmpty()) return;
    painter_->setPen(toQColor(colour));
    painter_->drawPoints(points);
}

bool QtPainterCanvas::textExtent(std::string_view text, TextExtent& extent) const {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    extent.width = metrics_.horizontalAdvance(s);
    extent.height = metrics_.height();
    return true;
}

void QtPainterCanvas::drawText(const PixelRect& rect, std::string_view text, TextAlign align,
                               ColourRef foreground, ColourRef background) {
    drawTextCell(*painter_, metrics_, rect, text, align, foreground, &background);
}

QImage QtPainterCanvas::imageOf(const Canvas& canvas) {
    return QImage(reinterpret_cast<const uchar*>(canvas.pixels()), canvas.width(), canvas.height(),
                  canvas.stridePixels() * 2, QImage::Format_RGB16);
}

}  // namespace platform::qt
