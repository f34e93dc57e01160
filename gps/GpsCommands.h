#pragma once
#include "gps/GpsLink.h"

class GpsMap;
class GpsPoll;

// The GPS menu's commands as the document carries them out; the window only asks for the
// texts and enabled states and shows what these return.
namespace gps_commands {

// "Disconnect" while the document's GPS connected flag is set, "Connect" otherwise.
const char* ConnectMenuText(bool connected);
// Connect / Disconnect is disabled while recording.
bool ConnectEnabled(bool recording);
// Set Clock needs a valid fix.
bool SetClockEnabled(const GpsLink& link);

// Connect / Disconnect. Connected: disconnect and clear the flag; returns false. Otherwise:
// connect, set the flag whatever the outcome, and return true: the map window opens next.
bool ToggleConnection(GpsLink& link, GpsPoll& poll,
                      GpsLink::ConnectionProgress* progress = nullptr);

// New File, after the user confirmed GpsLink::kNewFileQuestion: the new track file, then
// the map's track reloaded from it.
bool NewFile(GpsLink& link, GpsMap& map);

}  // namespace gps_commands
