#include "gps/GpsCommands.h"

#include "gps/GpsMap.h"
#include "gps/GpsPoll.h"

namespace gps_commands {

const char* ConnectMenuText(bool connected) {
    return connected ? "Disconnect" : "Connect";
}

bool ConnectEnabled(bool recording) {
    return !recording;
}

bool SetClockEnabled(const GpsLink& link) {
    return link.GetValidity() > 0;
}

bool ToggleConnection(GpsLink& link, GpsPoll& poll, GpsLink::ConnectionProgress* progress) {
    if (poll.connected()) {
        link.Disconnect();
        poll.setConnected(false);
        return false;
    }
    link.Connect(progress);
    poll.setConnected(true);
    return true;
}

bool NewFile(GpsLink& link, GpsMap& map) {
    const bool started = link.NewTrackFile();
    map.LoadTrack();
    return started;
}

}  // namespace gps_commands
