#include "tools/zelkora-tool/SurveyMapPicture.h"

#include <QBuffer>
#include <QByteArray>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tools/zelkora-tool/ToolFiles.h"

namespace tool {

namespace {

constexpr double kMetresPerDegree = 111320.0;
constexpr int kMargin = 40;

// Longitude and latitude onto the picture: an equirectangular view around the survey's
// middle latitude, which over a night's walk is as good as any map projection. The view
// starts east of the widest stretch of longitude without a point, so a track that crosses
// the meridian 180 is drawn across it and not the long way round the globe.
class Projection {
  public:
    Projection(const SurveyMap& map, int width, int height) {
        std::vector<double> longitudes;
        double latMin = 90, latMax = -90;
        auto take = [&](const SurveyMap::Point& p) {
            latMin = std::min(latMin, p.latitude);
            latMax = std::max(latMax, p.latitude);
            longitudes.push_back(p.longitude);
        };
        for (const auto& segment : map.segments)
            std::for_each(segment.begin(), segment.end(), take);
        for (const auto& w : map.waypoints) take(w.at);
        if (latMin > latMax) latMin = latMax = 0;
        std::sort(longitudes.begin(), longitudes.end());
        if (!longitudes.empty()) {
            double widest = longitudes.front() + 360 - longitudes.back();
            west_ = longitudes.front();
            for (size_t i = 1; i < longitudes.size(); ++i) {
                if (longitudes[i] - longitudes[i - 1] > widest) {
                    widest = longitudes[i] - longitudes[i - 1];
                    west_ = longitudes[i];
                }
            }
        }
        double lonMin = 360, lonMax = -360;
        for (const double lon : longitudes) {
            lonMin = std::min(lonMin, unwrapped(lon));
            lonMax = std::max(lonMax, unwrapped(lon));
        }
        if (longitudes.empty()) lonMin = lonMax = 0;
        shrink_ = std::cos((latMin + latMax) / 2 * M_PI / 180);
        // A single place still gets a view some 200 m across.
        const double spanX = std::max((lonMax - lonMin) * shrink_, 0.002);
        const double spanY = std::max(latMax - latMin, 0.002);
        scale_ = std::min((width - 2 * kMargin) / spanX, (height - 2 * kMargin - 30) / spanY);
        lonMid_ = (lonMin + lonMax) / 2;
        latMid_ = (latMin + latMax) / 2;
        cx_ = width / 2.0;
        cy_ = (height + 30) / 2.0;
    }
    QPointF at(const SurveyMap::Point& p) const {
        return {cx_ + (unwrapped(p.longitude) - lonMid_) * shrink_ * scale_,
                cy_ - (p.latitude - latMid_) * scale_};
    }
    double metresPerPixel() const { return kMetresPerDegree / scale_; }

  private:
    // The longitude counted on eastwards from the view's western edge.
    double unwrapped(double lon) const { return lon < west_ ? lon + 360 : lon; }

    double west_ = -180;
    double shrink_ = 1, scale_ = 1, lonMid_ = 0, latMid_ = 0, cx_ = 0, cy_ = 0;
};

// The longest of 1, 2, 5 x 10^k metres that fits in `pixels`.
double niceLength(double metresPerPixel, double pixels) {
    const double most = metresPerPixel * pixels;
    double step = std::pow(10.0, std::floor(std::log10(most)));
    for (double m : {5.0, 2.0, 1.0}) {
        if (m * step <= most) return m * step;
    }
    return step;
}

}  // namespace

bool drawSurveyMap(const SurveyMap& map, const std::string& title, int width, int height,
                   const std::string& out) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0xf4, 0xf1, 0xe8));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const Projection view(map, width, height);

    QString heading = QString::fromStdString(title);
    if (!map.segments.empty()) {
        heading += QString("   %1 to %2 UTC")
                       .arg(QString::fromStdString(
                                SurveyMap::isoUtc(map.segments.front().front().utc).substr(0, 16)),
                            QString::fromStdString(
                                SurveyMap::isoUtc(map.segments.back().back().utc).substr(11, 5)));
    }
    p.setPen(Qt::black);
    p.drawText(QRectF(12, 8, width - 24, 24), Qt::AlignLeft | Qt::AlignVCenter, heading);

    for (const auto& segment : map.segments) {
        QPainterPath path(view.at(segment.front()));
        for (const auto& point : segment) path.lineTo(view.at(point));
        p.setPen(QPen(QColor(0x1f, 0x4e, 0x9c), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        // Where the fix came back, and where it was lost.
        p.setBrush(QColor(0x1f, 0x4e, 0x9c));
        p.drawEllipse(view.at(segment.front()), 3.5, 3.5);
        p.drawEllipse(view.at(segment.back()), 3.5, 3.5);
    }

    QFont small = p.font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    p.setFont(small);
    for (const auto& w : map.waypoints) {
        const QPointF at = view.at(w.at);
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(QColor(0xc8, 0x2a, 0x1e));
        p.drawEllipse(at, 6, 6);
        p.setPen(QColor(0x60, 0x10, 0x08));
        const QString name = QString::fromStdString(w.name);
        const QString description = QString::fromStdString(w.description);
        // The easternmost places lie at the margin: their labels go to the left of the mark
        // rather than off the picture.
        const QFontMetricsF metrics(small);
        const double wide =
            std::max(metrics.horizontalAdvance(name), metrics.horizontalAdvance(description));
        const double x = at.x() + 9 + wide <= width - 2 ? at.x() + 9 : at.x() - 9 - wide;
        p.drawText(QPointF(x, at.y() - 2), name);
        p.drawText(QPointF(x, at.y() + 11), description);
    }

    const double metres = niceLength(view.metresPerPixel(), width / 4.0);
    const double pixels = metres / view.metresPerPixel();
    const QPointF left(kMargin / 2.0, height - 18.0);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(left, left + QPointF(pixels, 0));
    p.drawLine(left + QPointF(0, -5), left + QPointF(0, 5));
    p.drawLine(left + QPointF(pixels, -5), left + QPointF(pixels, 5));
    p.drawText(left + QPointF(pixels + 8, 4),
               metres >= 1000 ? QString("%1 km").arg(metres / 1000) : QString("%1 m").arg(metres));
    p.end();
    // Made whole in memory first: a full disk must not leave a truncated picture.
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        std::fprintf(stderr, "Cannot write file %s: the PNG could not be made\n", out.c_str());
        return false;
    }
    return writeOutput(out, png);
}

}  // namespace tool
