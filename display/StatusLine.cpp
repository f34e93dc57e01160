#include "display/StatusLine.h"

#include <cstdio>

StatusLine::Fields StatusLine::Layout(const Rect& status, int32_t digits3Width,
                                      int32_t digits4Width, int32_t mWidth, int32_t noticeWidth) {
    Fields f;
    const int32_t c = digits3Width / 3;
    const int32_t top = status.top + 1, bottom = status.bottom - 1;
    const int32_t l = status.left, r = status.right;
    const int32_t n = l + 2 + noticeWidth + (11 * digits4Width) / 4 + 2;
    f.name = {l + 2, top, n, bottom};
    const int32_t s = n + c / 2;
    const int32_t y = s + 2 * mWidth + 1;
    f.scale = {s, top, y, bottom};
    const int32_t w = y + 5 * c + 1;
    f.mode = {y, top, w, bottom};
    const int32_t fl = w + c;
    const int32_t fr = fl + 3 * c + 1;
    f.filter = {fl, top, fr, bottom};
    const int32_t k = r - 2 - (17 * digits3Width) / 6 - 2;
    f.clock = {k, top, r - 2, bottom};
    const int32_t lr = (k - y - 10 * c < mWidth + 2) ? y + 7 * c + 1 : y + 10 * c;
    f.liveText = {y, top, lr, bottom};
    const int32_t centre = fr < lr ? (lr + k) / 2 : (k + fr) / 2;
    f.fullScreen = {centre - mWidth / 2 - 1, top, centre + mWidth / 2 + 1, bottom};
    return f;
}

void StatusLine::Draw(platform::Canvas& canvas, const Rect& status, const Fields& f,
                      const Content& content, platform::ColourRef scale, platform::ColourRef back) {
    canvas.fillRect(status, back);
    canvas.line(status.left, status.top, status.right - 1, status.top, scale);
    canvas.line(status.right - 1, status.top, status.right - 1, status.bottom - 1, scale);
    canvas.line(status.right - 1, status.bottom - 1, status.left, status.bottom - 1, scale);
    canvas.line(status.left, status.bottom - 1, status.left, status.top, scale);

    using platform::TextAlign;
    canvas.drawText(f.name, content.notice + content.name.substr(0, 11), TextAlign::Left, scale,
                    back);
    canvas.drawText(f.scale, content.scaleText, TextAlign::Centre, scale, back);
    if (content.live) {
        canvas.drawText(f.liveText, content.liveText, TextAlign::Centre, scale, back);
        return;
    }
    canvas.drawText(f.mode, content.modeText, TextAlign::Centre, scale, back);
    char text[16];
    std::snprintf(text, sizeof text, "Z%d", static_cast<int>(content.filterLevel));
    canvas.drawText(f.filter, text, TextAlign::Centre, scale, back);
    canvas.drawText(f.fullScreen, content.fullScreen ? "M" : "m", TextAlign::Centre, scale, back);
}

std::string StatusLine::LiveWord(int32_t monitorMode, bool wide, bool waste, bool overflow) {
    if (waste && overflow) return "W & O";
    if (waste) return "Waste";
    if (overflow) return "O'Flow";
    if (monitorMode != 0) return wide ? "Monitoring" : "Monitor";
    return wide ? "Recording" : "Record";
}

char StatusLine::GpsLetter(int32_t state) {
    switch (state) {
        case 0:
            return '-';
        case 1:
            return 'g';
        case 3:
            return 'd';
        case 5:
            return 'G';
        case 7:
            return 'D';
        case -2:
            return '?';
        default:
            return ' ';
    }
}

std::string StatusLine::ClockText(int32_t gpsState, int32_t hour, int32_t minute, int32_t second) {
    char text[32];
    std::snprintf(text, sizeof text, "%c %2.2d%2.2d:%2.2d", GpsLetter(gpsState),
                  static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second));
    return text;
}
