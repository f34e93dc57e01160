#pragma once
#include <clocale>

namespace platform::qt {

// Qt sets the C library's locale from the environment when its application object is made.
// Under a German, French or Russian LANG or LC_NUMERIC, printf would then write "0,002" on the
// time axis and "44,06884" on the GPS map, so that the window and `render` drew what the
// other commands and the files never write. Called right after the application is made;
// QLocale, which the dialogs' spin boxes follow, keeps the user's own.
inline void keepDecimalPoint() {
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace platform::qt
