#pragma once
#include <QFont>

class QPaintDevice;

namespace platform::qt {

// The one font of the view (labels, status line, hints): DejaVu Sans, sized in points so
// that it reads the same on any screen, turned into pixels for `dotsPerInch` (96 when the
// screen is unknown, as headless).
QFont viewFont(double dotsPerInch);
// The logical dots per inch of the primary screen, 96 without one.
double screenDotsPerInch();

}  // namespace platform::qt
