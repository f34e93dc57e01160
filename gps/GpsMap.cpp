#include "gps/GpsMap.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/AppSettings.h"
#include "gps/TrackRecord.h"
#include "platform/InputFile.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// 0.9 millionths of a degree per tenth of a metre, stretched in longitude by 1/cos(latitude).
double lonStretch(double latitudeE6) {
    const double c = std::cos(latitudeE6 / 1000000.0 * kPi / 180.0);
    return c == 0.0 ? 0.9 : 0.9 / c;
}

GpsMap::View centred(int32_t lon, int32_t lat, double h, double v, double k) {
    const auto halfHeight = static_cast<int32_t>(std::trunc(v * 0.45 + 0.5));
    const auto halfWidth = static_cast<int32_t>(std::trunc((k * h + 1.0) * 0.5));
    return {lon - halfWidth, lat - halfHeight, lon + halfWidth, lat + halfHeight};
}

}  // namespace

void GpsMap::InitMap(const std::string& dataFolder) {
    scaleValue_ = appSettings().MapWidth;
    SetScaleText();
    folder_ = dataFolder;
    folderKnown_ = true;
    LoadTrack();
}

void GpsMap::ClearTrack() {
    trackPoints_.clear();
    lonMin_ = latMin_ = kExtentReset;
    lonMax_ = latMax_ = -kExtentReset;
    wrapped_ = false;
}

void GpsMap::LoadTrack() {
    ClearTrack();
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (!std::filesystem::is_directory(folder_, ec)) return;
    // A FIFO or a device under the track's name would hold the window for ever.
    platform::InputFile in;
    if (!in.open(folder_ + "GPS.zlg")) return;
    std::array<uint8_t, TrackRecord::kSize> rec{};
    while (in.read(rec) == static_cast<int64_t>(rec.size())) {
        TrackRecord r;
        r.decode(rec);  // the position is read whatever the other fields hold
        TrackPoint p{r.longitudeE6, r.latitudeE6};
        trackPoints_.push_back(p);
        lonMin_ = std::min(lonMin_, p.longitude);
        lonMax_ = std::max(lonMax_, p.longitude);
        latMin_ = std::min(latMin_, p.latitude);
        latMax_ = std::max(latMax_, p.latitude);
    }
    if (static_cast<int64_t>(lonMax_) - lonMin_ > kWrapSpan) Wrap();
}

// The track crosses the date line: negative longitudes move up by 360 degrees.
void GpsMap::Wrap() {
    wrapped_ = true;
    lonMin_ = kExtentReset;
    lonMax_ = -kExtentReset;
    for (TrackPoint& p : trackPoints_) {
        if (p.longitude < 0) p.longitude += 360000000;
        lonMin_ = std::min(lonMin_, p.longitude);
        lonMax_ = std::max(lonMax_, p.longitude);
    }
}

void GpsMap::AddPoint(TrackPoint p) {
    if (wrapped_ && p.longitude < 0) p.longitude += 360000000;
    lonMin_ = std::min(lonMin_, p.longitude);
    lonMax_ = std::max(lonMax_, p.longitude);
    latMin_ = std::min(latMin_, p.latitude);
    latMax_ = std::max(latMax_, p.latitude);
    const bool hadPoints = !trackPoints_.empty();
    trackPoints_.push_back(p);
    if (hadPoints && !wrapped_ && static_cast<int64_t>(lonMax_) - lonMin_ > kWrapSpan) Wrap();
}

std::string GpsMap::ScaleLabel(int32_t metres) {
    switch (metres) {
        case 0:
            return " All";
        case 100:
            return "100m";
        case 200:
            return "200m";
        case 500:
            return "500m";
        case 1000:
            return " 1km";
        case 2000:
            return " 2km";
        case 5000:
            return " 5km";
        case 10000:
            return "10km";
        case 20000:
            return "20km";
        case 50000:
            return "50km";
        default:
            return "";
    }
}

void GpsMap::SetScaleText() {
    const std::string label = ScaleLabel(scaleValue_ / 10);
    scaleText_ = (scaleValue_ % 10 == 0 && !label.empty()) ? "Scale: " + label : "";
}

void GpsMap::SetScale(int32_t metres) {
    scaleValue_ = metres * 10;
    SetScaleText();
    appSettings().MapWidth = scaleValue_;
    NotifyTexts();
    Redraw();
}

GpsMap::MenuAction GpsMap::HandleMenuResult(int32_t code) {
    static constexpr std::array<int32_t, 9> kScales = {100,  200,   500,   1000, 2000,
                                                       5000, 10000, 20000, 50000};
    if (code >= 101 && code <= 109) {
        SetScale(kScales[static_cast<size_t>(code - 101)]);
        return MenuAction::ScaleChanged;
    }
    if (code == 111) {
        SetScale(0);
        return MenuAction::ScaleChanged;
    }
    if (code == 4) return MenuAction::Close;
    return MenuAction::None;
}

bool GpsMap::TapOpensMenu(int32_t x, int32_t y, int32_t width, int32_t height) {
    return x < width / 3 && y >= height * 3 / 4;
}

void GpsMap::Open(MapCanvas* canvas, const Rect& mapArea) {
    canvas_ = canvas;
    mapRect_ = mapArea;
    drawnSinceOpen_ = false;
    markerSaved_ = false;
    statusText_ = "GPS - not connected";
    satelliteText_ = "Nsats";
    NotifyTexts();
}

void GpsMap::Close() {
    canvas_ = nullptr;
    drawnSinceOpen_ = false;
    markerSaved_ = false;
}

void GpsMap::NotifyTexts() {
    if (canvas_ && textsChanged_) textsChanged_();
}

void GpsMap::UpdateStatus(const GpsFix& f) {
    char buf[96];
    if (f.satelliteCount == 0) {
        statusText_ = "GPS - not getting data";
        satelliteText_ = "Nsats ";
        NotifyTexts();
        return;
    }
    if (f.quality > 0) {
        TrackPoint p{TrackRecord::scaled(f.longitude, 1000000.0),
                     TrackRecord::scaled(f.latitude, 1000000.0)};
        AddPoint(p);
        if (canvas_ && drawnSinceOpen_) {
            if (InView(trackPoints_.back())) {
                int32_t x = 0, y = 0;
                PointToPixel(trackPoints_.back(), x, y);
                RestoreMarker();
                DrawMarker(x, y);
            } else {
                Redraw();
            }
        }
        const char* fixText = "NoFix";
        const bool threeD = f.fixType >= 3;
        const bool twoD = f.fixType == 2;
        if (twoD || threeD) {
            if (f.quality == 1) fixText = threeD ? "3D" : "2D";
            if (f.quality == 2) fixText = threeD ? "D3D" : "D2D";
            if (f.quality == 3) fixText = threeD ? "P3D" : "P2D";
        }
        const TrackPoint& last = trackPoints_.back();
        const int32_t altitudeMm = TrackRecord::scaled(f.altitude, 1000.0);
        std::snprintf(buf, sizeof buf, "%4s  %9.5f  %10.5f  Alt %5d", fixText,
                      last.latitude / 1000000.0, last.longitude / 1000000.0, altitudeMm / 1000);
        statusText_ = buf;
    } else {
        std::snprintf(buf, sizeof buf, "Nofix  Up %3d  In %3d", f.satelliteCount,
                      f.satellitesInView);
        statusText_ = buf;
    }
    std::snprintf(buf, sizeof buf, "Nsats = %3d", f.satellitesUsed);
    satelliteText_ = buf;
    NotifyTexts();
}

GpsMap::View GpsMap::ComputeView(int32_t width, int32_t height) const {
    const double aspect = height > 0 ? static_cast<double>(width) / height : 1.0;
    if (trackPoints_.empty()) return view_;
    if (scaleValue_ != 0) {
        const TrackPoint& c = trackPoints_.back();
        const double d = scaleValue_;
        double h = d, v = d;
        if (aspect > 1.0) {
            h = d * aspect;
        } else {
            v = d / aspect;
        }
        return centred(c.longitude, c.latitude, h, v, lonStretch(c.latitude));
    }
    const int32_t latMid = latMax_ / 2 + latMin_ / 2;
    const int32_t lonMid = lonMax_ / 2 + lonMin_ / 2;
    const double k = lonStretch(latMid);
    const double u = (static_cast<double>(latMax_) - latMin_) / 0.9;
    const double w = (static_cast<double>(lonMax_) - lonMin_) / k;
    double h = 0.0, v = 0.0;
    if (w > u * aspect) {
        h = std::max(w * 1.1, 1000.0);
        v = h / aspect;
    } else {
        v = std::max(u * 1.1, 1000.0);
        h = v * aspect;
    }
    return centred(lonMid, latMid, h, v, k);
}

bool GpsMap::InView(const TrackPoint& p) const {
    return view_.west <= p.longitude && p.longitude < view_.east && view_.south <= p.latitude &&
           p.latitude < view_.north;
}

void GpsMap::PointToPixel(const TrackPoint& p, int32_t& x, int32_t& y) const {
    x = static_cast<int32_t>(
            std::trunc((static_cast<double>(p.longitude) - view_.west) * xScale_ + 0.5)) +
        mapRect_.left + 5;
    y = static_cast<int32_t>(
            std::trunc((static_cast<double>(view_.north) - p.latitude) * yScale_ + 0.5)) +
        mapRect_.top + 5;
}

void GpsMap::Redraw() {
    if (!canvas_) return;
    const AppSettings& s = appSettings();
    if (!folderKnown_ || folder_ != s.GPath) {
        scaleValue_ = s.MapWidth;
        SetScaleText();
        folder_ = s.GPath;
        folderKnown_ = true;
        LoadTrack();
        NotifyTexts();
    }
    drawnSinceOpen_ = true;
    markerSaved_ = false;
    canvas_->fillRect(mapRect_.left, mapRect_.top, mapRect_.right, mapRect_.bottom, s.MapCmap);
    if (trackPoints_.empty()) return;
    view_ = ComputeView(mapRect_.width(), mapRect_.height());
    xScale_ = (mapRect_.width() - 10.0) / (static_cast<double>(view_.east) - view_.west + 1.0);
    yScale_ = (mapRect_.height() - 10.0) / (static_cast<double>(view_.north) - view_.south + 1.0);
    const int32_t count = pointCount();
    for (int32_t i = 1; i <= count; ++i) {
        const TrackPoint& p = trackPoints_[static_cast<size_t>(i - 1)];
        if (!InView(p)) continue;
        int32_t x = 0, y = 0;
        PointToPixel(p, x, y);
        if (i == count) {
            DrawMarker(x, y);
        } else {
            DrawDot(x, y, i > count - kRecentPoints ? s.MapCrecent : s.MapCtrack);
        }
    }
}

void GpsMap::DrawDot(int32_t x, int32_t y, uint32_t colour) {
    canvas_->setPixel(x, y, colour);
    if (appSettings().MapBigDots) {
        canvas_->setPixel(x - 1, y, colour);
        canvas_->setPixel(x, y - 1, colour);
        canvas_->setPixel(x - 1, y - 1, colour);
    }
}

void GpsMap::DrawMarker(int32_t x, int32_t y) {
    const AppSettings& s = appSettings();
    DrawDot(x, y, s.MapCrecent);
    const int32_t half = s.MapBigDots ? 4 : 3;
    markerSize_ = 2 * half + 1;
    markerLeft_ = x - half;
    markerTop_ = y - half;
    for (int32_t row = 0; row < markerSize_; ++row) {
        for (int32_t col = 0; col < markerSize_; ++col) {
            markerStore_[static_cast<size_t>(row * markerSize_ + col)] =
                canvas_->pixel(markerLeft_ + col, markerTop_ + row);
        }
    }
    markerSaved_ = true;
    canvas_->fillRect(markerLeft_, markerTop_, markerLeft_ + markerSize_, markerTop_ + markerSize_,
                      s.MapCcurrent);
}

void GpsMap::RestoreMarker() {
    if (!markerSaved_) return;
    for (int32_t row = 0; row < markerSize_; ++row) {
        for (int32_t col = 0; col < markerSize_; ++col) {
            canvas_->setPixel(markerLeft_ + col, markerTop_ + row,
                              markerStore_[static_cast<size_t>(row * markerSize_ + col)]);
        }
    }
    markerSaved_ = false;
}
