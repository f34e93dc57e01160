#pragma once
#include <cstdint>
#include <functional>

#include "gps/GpsLink.h"
#include "gps/GpsPoll.h"
#include "sequence/PositionBlock.h"

// The GPS side of a recording without the application's document (the command-line
// recorder): one GPS link and its once-a-second poll whose position goes to `sink` (for
// example SequenceFile::setPosition), so every sequence file written while a fix is fresh
// carries it. The track file is written as in the application.
class GpsPositionFeed {
  public:
    using Sink = std::function<void(const PositionBlock&)>;

    explicit GpsPositionFeed(Sink sink);
    ~GpsPositionFeed();
    GpsPositionFeed(const GpsPositionFeed&) = delete;
    GpsPositionFeed& operator=(const GpsPositionFeed&) = delete;

    // Connects to `port` at `baud` (stored as GPSport and GPSbaudrate). False when the port
    // cannot be opened.
    bool Connect(int32_t port, int32_t baud);
    // Once a second: drains the port and hands the position on. Returns the fix class, or -1.
    int32_t SecondTick();
    // Parses what is still waiting and closes the port.
    void Stop();

    GpsLink& link() { return link_; }
    const GpsPoll& poll() const { return poll_; }
    GpsPoll& poll() { return poll_; }

  private:
    GpsLink link_;
    GpsPoll poll_;
};
