#include "gps/GpsPositionFeed.h"

#include "app/AppSettings.h"

GpsPositionFeed::GpsPositionFeed(Sink sink) : poll_(link_) {
    poll_.setPositionSink(std::move(sink));
}

GpsPositionFeed::~GpsPositionFeed() {
    Stop();
}

bool GpsPositionFeed::Connect(int32_t port, int32_t baud) {
    lost_ = false;
    AppSettings& s = appSettings();
    s.GPSport = port;
    s.GPSbaudrate = baud;
    poll_.setConnected(true);
    return link_.Connect();
}

int32_t GpsPositionFeed::SecondTick() {
    if (reopen_ && poll_.connected()) reopenLostPort();
    return poll_.Poll();
}

void GpsPositionFeed::reopenLostPort() {
    if (link_.IsPortOpen()) {
        if (!link_.LineLost()) return;
        link_.Drain();
        link_.Disconnect();
        lost_ = true;
        retry_.reset();
        wait_ = retry_.next(kLongestReopenWait);
        return;
    }
    if (!lost_ || --wait_ > 0) return;
    if (link_.Connect()) {
        lost_ = false;
        return;
    }
    wait_ = retry_.next(kLongestReopenWait);
}

void GpsPositionFeed::Stop() {
    lost_ = false;
    if (!link_.IsPortOpen()) return;
    link_.Drain();
    link_.Disconnect();
}
