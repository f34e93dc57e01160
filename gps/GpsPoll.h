#pragma once
#include <cstdint>
#include <functional>

#include "sequence/JulianTime.h"
#include "sequence/PositionBlock.h"

// What the poll needs of the GPS connection (GpsLink in the program).
class GpsPositionSource {
  public:
    virtual ~GpsPositionSource() = default;
    virtual bool IsPortOpen() const = 0;
    // Parses everything waiting: true if a GGA sentence was accepted.
    virtual bool Drain() = 0;
    // The fix class (0 none, 1, 3, 5, 7) and the position of the current fix.
    virtual int32_t GetPosition(double& latitude, double& longitude, double& altitude) const = 0;
    // Device clock (in UTC) minus GPS UTC at the last fix; false when it cannot be known.
    virtual bool GetClockOffset(JulianTime& offset) = 0;
};

// The document's once-a-second GPS poll: drains the link, counts the polls without a new
// GGA sentence and keeps the position that goes into every sequence file written next. A
// fix older than six polls is dropped (position mode 0). The application's document and
// the command-line recorder and logger each own one and call Poll() once a second.
class GpsPoll {
  public:
    static constexpr int32_t kMaxStaleness = 6;
    static constexpr int32_t kNotConnected = -1;

    explicit GpsPoll(GpsPositionSource& link) : link_(link) {}

    // Set by the Connect command whatever its outcome, cleared by Disconnect.
    void setConnected(bool connected) { connected_ = connected; }
    bool connected() const { return connected_; }

    // One poll: the fix class (0, 1, 3, 5, 7), or -1 when the GPS is not connected.
    int32_t Poll();

    // Receives the position block after every poll (for example SequenceFile::setPosition).
    void setPositionSink(std::function<void(const PositionBlock&)> sink) {
        sink_ = std::move(sink);
    }

    int32_t positionMode() const { return positionMode_; }
    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    int32_t altitude() const { return altitude_; }
    int32_t staleness() const { return staleness_; }
    PositionBlock positionBlock() const;

    // The altitude in whole metres as the position block holds it, rounded half up
    // (12.5 -> 13, -12.5 -> -12, -1 -> -1): truncating toward zero would lift every
    // altitude below sea level by a metre.
    static int32_t WholeMetres(double altitude);

  private:
    int32_t Finish(int32_t result);

    GpsPositionSource& link_;
    bool connected_ = false;
    int32_t staleness_ = 0;
    int32_t positionMode_ = 0;
    double latitude_ = 0.0;
    double longitude_ = 0.0;
    int32_t altitude_ = 0;
    std::function<void(const PositionBlock&)> sink_;
};
