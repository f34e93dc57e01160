#include "platform/qt/QtViewFont.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform::qt {

namespace {
constexpr double kPointSize = 9.0;
constexpr const char* kFamily = "DejaVu Sans";
constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void ensureFamilyLoaded() {
    static bool done = false;
    if (done) return;
    done = true;
    if (!QFontDatabase::families().contains(kFamily)) QFontDatabase::addApplicationFont(kFontFile);
}
}  // namespace

QFont viewFont(double dotsPerInch) {
    ensureFamilyLoaded();
    QFont font(kFamily);
    font.setPixelSize(std::max(8, static_cast<int>(std::lround(kPointSize * dotsPerInch / 72.0))));
    // The same glyphs headless and on any screen: no hinting that depends on the desktop.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

double screenDotsPerInch() {
    if (QGuiApplication::instance() == nullptr) return 96.0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return 96.0;
    const double dpi = screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : 96.0;
}

}  // namespace platform::qt
