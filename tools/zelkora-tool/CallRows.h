#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "display/CallMeasurements.h"
#include "sequence/SequenceFormat.h"

namespace tool {

// The recorder's local clock at `offsetUs` into the file, to the microsecond; empty for a
// file type that holds no start time.
std::string startTimeText(const SequenceFileHeader& header, int64_t offsetUs);

// One call as a CSV row or a JSON object (one line each), in the column order of `calls`;
// with `echoColumn` a last column says whether the row is an echo.
std::string callRow(const std::string& file, size_t index, const std::string& start,
                    const CallMeasurements::Call& c, bool json, bool echoColumn = false);

}  // namespace tool
