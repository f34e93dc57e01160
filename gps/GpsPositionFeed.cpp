#include "gps/GpsPositionFeed.h"

#include "app/AppSettings.h"

GpsPositionFeed::GpsPositionFeed(Sink sink) : poll_(link_) {
    poll_.setPositionSink(std::move(sink));
}

GpsPositionFeed::~GpsPositionFeed() {
    Stop();
}

bool GpsPositionFeed::Connect(int32_t port, int32_t baud) {
    AppSettings& s = appSettings();
    s.GPSport = port;
    s.GPSbaudrate = baud;
    poll_.setConnected(true);
    return link_.Connect();
}

int32_t GpsPositionFeed::SecondTick() {
    return poll_.Poll();
}

void GpsPositionFeed::Stop() {
    if (!link_.IsPortOpen()) return;
    link_.Drain();
    link_.Disconnect();
}
