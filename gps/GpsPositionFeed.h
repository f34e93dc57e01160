#pragma once
#include <cstdint>
#include <functional>

#include "app/RetryDelay.h"
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
    // A receiver whose line goes away (unplugged, a USB drop-out, a knock on its cable) is
    // closed and then opened again by the once-a-second tick as soon as it is back: after
    // 2 s, then twice as long each time, up to every kLongestReopenWait ticks. Without it the
    // receiver stays dead for the rest of the night, the fix line saying only "no fix", and
    // no file gets a position. Off by default: the station looks for its receiver itself.
    void setReopenLostPort(bool on) { reopen_ = on; }
    static constexpr int32_t kLongestReopenWait = 30;

    GpsLink& link() { return link_; }
    const GpsPoll& poll() const { return poll_; }
    GpsPoll& poll() { return poll_; }

  private:
    void reopenLostPort();

    GpsLink link_;
    GpsPoll poll_;
    bool reopen_ = false;
    bool lost_ = false;  // closed by reopenLostPort, not by the user
    int64_t wait_ = 0;   // ticks until the next try
    RetryDelay retry_;
};
