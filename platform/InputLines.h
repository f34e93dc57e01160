#pragma once
#include <string>

namespace platform {

// Lines typed on (or piped into) standard input, read without blocking the caller for longer
// than it asks: for command-line jobs that react to a line while they run.
enum class InputLine {
    Line,     // a whole line was read into `line` (without its line break)
    Timeout,  // no whole line within the time given
    Closed,   // standard input is at its end or unreadable: no line will come
};

// Waits at most `timeoutMs` for a whole line on standard input. A signal ends the wait early
// (as a time-out). Once Closed has been returned it is returned at once ever after; a last
// line without a line break counts as a line.
InputLine readInputLine(std::string& line, int timeoutMs);

}  // namespace platform
