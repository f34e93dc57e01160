#pragma once
#include <cstdint>
#include <functional>

#include "acquisition/PortSearch.h"

struct AppSettings;

// The port search without its dialog: the module's port when the list lacks it, then every
// listed serial port in turn from the one the module was last found on, on the calling thread.
// `status` hears each notice as it comes. The port found (the port is left open on the module), or
// 0.
int32_t SearchListedPorts(acquisition::CommFile& port, const AppSettings& settings,
                          const acquisition::PortSearch::StatusNotice& status);
