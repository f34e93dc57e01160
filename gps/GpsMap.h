#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gps/GpsFix.h"
#include "gps/MapCanvas.h"

// The track map: the points of the current track file and those received since, drawn in
// an equirectangular projection (north up, longitude scaled by the cosine of the latitude,
// 1 metre = 9 millionths of a degree of latitude), with the current position marked. The
// window only forwards its paint, size, taps and menu choices here and shows the texts.
class GpsMap {
  public:
    struct TrackPoint {
        int32_t longitude = 0;  // millionths of a degree
        int32_t latitude = 0;
    };
    // In millionths of a degree.
    struct View {
        int32_t west = 0, south = 0, east = 0, north = 0;
    };
    // In pixels; right and bottom exclusive.
    struct Rect {
        int32_t left = 0, top = 0, right = 0, bottom = 0;
        int32_t width() const { return right - left; }
        int32_t height() const { return bottom - top; }
    };

    static constexpr int32_t kExtentReset = 500000000;
    static constexpr int32_t kWrapSpan = 180000000;
    static constexpr int32_t kRecentPoints = 100;

    // What a map-menu result asks of the window.
    enum class MenuAction { None, ScaleChanged, Close };

    // Application start: scale from the settings, the track from `dataFolder` + "GPS.zlg".
    void InitMap(const std::string& dataFolder);
    // Rebuilds the track from the track file of the remembered data folder.
    void LoadTrack();
    // metres: 0 (whole track), 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000.
    void SetScale(int32_t metres);
    // After every non-zero result of the receiver: add the position, refresh the texts.
    void UpdateStatus(const GpsFix& fix);
    // Full drawing into the attached canvas (nothing when none is attached).
    void Redraw();

    // The window opens (canvas and map area given) or closes.
    void Open(MapCanvas* canvas, const Rect& mapArea);
    void Close();
    void SetMapRect(const Rect& mapArea) { mapRect_ = mapArea; }
    bool isOpen() const { return canvas_ != nullptr; }

    // Taps on a window of `width` x `height`: true when the tap opens the map menu (the
    // bottom-left third of the width, bottom quarter of the height); any other tap closes.
    static bool TapOpensMenu(int32_t x, int32_t y, int32_t width, int32_t height);
    // The map menu's result code.
    MenuAction HandleMenuResult(int32_t code);

    // " All", "100m", ..., "50km" for the known scales, else "".
    static std::string ScaleLabel(int32_t metres);

    const std::string& statusText() const { return statusText_; }
    const std::string& satelliteText() const { return satelliteText_; }
    const std::string& scaleText() const { return scaleText_; }
    // Called whenever a text changes while the window is open.
    void setTextsChanged(std::function<void()> callback) { textsChanged_ = std::move(callback); }

    const std::vector<TrackPoint>& trackPoints() const { return trackPoints_; }
    int32_t pointCount() const { return static_cast<int32_t>(trackPoints_.size()); }
    bool wrapped() const { return wrapped_; }
    const View& view() const { return view_; }
    int32_t lonMin() const { return lonMin_; }
    int32_t lonMax() const { return lonMax_; }
    int32_t latMin() const { return latMin_; }
    int32_t latMax() const { return latMax_; }
    double xScale() const { return xScale_; }
    double yScale() const { return yScale_; }
    int32_t scaleValue() const { return scaleValue_; }

    // The pixel of a point under the current view and scales.
    void PointToPixel(const TrackPoint& p, int32_t& x, int32_t& y) const;
    bool InView(const TrackPoint& p) const;
    // The view for the current scale and track with a map area of `width` x `height`.
    View ComputeView(int32_t width, int32_t height) const;

  private:
    void ClearTrack();
    void AddPoint(TrackPoint p);
    void Wrap();
    void DrawDot(int32_t x, int32_t y, uint32_t colour);
    void DrawMarker(int32_t x, int32_t y);
    void RestoreMarker();
    void SetScaleText();
    void NotifyTexts();

    std::vector<TrackPoint> trackPoints_;
    int32_t lonMin_ = kExtentReset, lonMax_ = -kExtentReset;
    int32_t latMin_ = kExtentReset, latMax_ = -kExtentReset;
    bool wrapped_ = false;
    View view_;
    Rect mapRect_;
    double xScale_ = 0.0, yScale_ = 0.0;
    int32_t scaleValue_ = 0;
    std::string folder_;
    bool folderKnown_ = false;

    // The pixels under the current-position marker.
    std::array<uint32_t, 81> markerStore_{};
    int32_t markerLeft_ = 0, markerTop_ = 0, markerSize_ = 0;
    bool markerSaved_ = false;

    MapCanvas* canvas_ = nullptr;
    bool drawnSinceOpen_ = false;
    std::string statusText_ = "GPS - not connected";
    std::string satelliteText_ = "Nsats";
    std::string scaleText_;
    std::function<void()> textsChanged_;
};
