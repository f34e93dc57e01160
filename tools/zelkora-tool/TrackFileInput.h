#pragma once
#include <functional>
#include <string>

#include "gps/TrackRecord.h"

namespace tool {

// Reads a GPS track file as `command` (for its messages) and hands each usable record to
// `take`. A power cut while the logger wrote leaves a torn last record, and a logger that
// then appended after it leaves the rest out of step: every whole record before the first
// that is not one is read, and the rest is skipped with a line on standard error. Records
// with an impossible date or time are skipped and counted there too.
// 0 when records were read (or the file is empty); kExitBadFile after "Cannot open file
// NAME" or, when nothing usable was found, "File Corrupt NAME"; kExitFailure on a read error.
// `opened` runs once the file has opened, before the first record.
int readTrackFile(const char* command, const std::string& path,
                  const std::function<void(const TrackRecord&)>& take,
                  const std::function<void()>& opened = {});

}  // namespace tool
