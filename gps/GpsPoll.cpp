#include "gps/GpsPoll.h"

#include <cmath>
#include <limits>

int32_t GpsPoll::WholeMetres(double altitude) {
    const double v = std::floor(altitude + 0.5);
    if (!(v > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (!(v < std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

int32_t GpsPoll::Finish(int32_t result) {
    if (sink_) sink_(positionBlock());
    return result;
}

int32_t GpsPoll::Poll() {
    if (!connected_) {
        positionMode_ = 0;
        return Finish(kNotConnected);
    }
    if (!link_.IsPortOpen()) {
        positionMode_ = 0;
        return Finish(0);
    }
    if (link_.Drain()) {
        staleness_ = 0;
    } else if (++staleness_ > kMaxStaleness) {
        staleness_ = kMaxStaleness;
        positionMode_ = 0;
        return Finish(0);
    }
    double lat = 0.0, lon = 0.0, alt = 0.0;
    const int32_t fixClass = link_.GetPosition(lat, lon, alt);
    if (fixClass <= 0) {
        positionMode_ = 0;
        return Finish(0);
    }
    latitude_ = lat;
    longitude_ = lon;
    altitude_ = WholeMetres(alt);
    positionMode_ = 1;
    return Finish(fixClass);
}

PositionBlock GpsPoll::positionBlock() const {
    return PositionBlock::build(positionMode_, latitude_, longitude_, altitude_);
}
