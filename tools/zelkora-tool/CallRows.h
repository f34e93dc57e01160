#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "display/CallMeasurements.h"
#include "sequence/JulianTime.h"
#include "sequence/SequenceFormat.h"

namespace tool {

// The recorder's local clock at `offsetUs` into the file, to the microsecond (with this
// machine's zone rules across a change of summer time); empty for a file type that holds no
// start time.
std::string startTimeText(const SequenceFileHeader& header, int64_t offsetUs);

// The rows of one file's calls, as CSV rows or JSON objects (one line each) in the column
// order of `calls`. What every row of the file shares (its name as a field, its date) is
// worked out once, and numbers are formatted in integers where that gives the same text: a
// folder of full files gives millions of rows.
class CallRows {
  public:
    // `header` must outlive the rows.
    CallRows(const std::string& path, const SequenceFileHeader& header, bool json);
    // Rows whose start time is given as text (empty: none).
    CallRows(const std::string& file, const std::string& start, bool json);

    // Appends call number `index`'s row; with `echoColumn` a last column says whether the
    // row is an echo.
    void append(std::string& row, size_t index, const CallMeasurements::Call& c,
                bool echoColumn) const;

  private:
    static constexpr int64_t kSameZoneUs = 6 * JulianTime::kHour;

    void appendStart(std::string& row, int64_t offsetUs) const;

    const SequenceFileHeader* header_ = nullptr;
    bool json_;
    std::string file_;
    std::string start_;       // the start text, when given as such
    std::string datePrefix_;  // "YYYY-MM-DDT" of the file's start
    int64_t startOfDayUs_ = 0;
    bool dated_ = false;
};

// One call's row, its start time given as text.
std::string callRow(const std::string& file, size_t index, const std::string& start,
                    const CallMeasurements::Call& c, bool json, bool echoColumn = false);

}  // namespace tool
