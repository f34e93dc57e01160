#include "display/WindowFit.h"

#include <algorithm>

#include "display/StatusLine.h"

WindowFit::Placement WindowFit::Initial(int32_t left, int32_t top, int32_t width, int32_t height) {
    const int32_t frameWidth = kPreferredWidth + kFrameWidth;
    const int32_t frameHeight = kPreferredHeight + kFrameHeight;
    if (width < frameWidth || height < frameHeight) return {true, left, top, width, height};
    return {false, left + (width - frameWidth) / 2, top + (height - frameHeight) / 2,
            kPreferredWidth, kPreferredHeight};
}

int32_t WindowFit::MinimumViewWidth(int32_t digits3Width, int32_t digits4Width, int32_t mWidth,
                                    int32_t noticeWidth) {
    // Laid out on a line wide enough for everything, the fields on the left end where they
    // end on any width; the clock keeps its width from the right edge.
    constexpr int32_t kWide = 100000;
    const StatusLine::Fields f =
        StatusLine::Layout({0, 0, kWide, 20}, digits3Width, digits4Width, mWidth, noticeWidth);
    const int32_t digit = digits3Width / 3;
    const int32_t shortLiveRight = f.liveText.left + 7 * digit + 1;
    const int32_t leftEnd = std::max(f.filter.right, shortLiveRight);
    const int32_t marker = mWidth + 2 + 2 * digit;  // the marker with a digit's gap each side
    const int32_t clock = kWide - f.clock.left;
    return leftEnd + marker + clock;
}

int32_t WindowFit::FingerPixels(int32_t screenWidth, int32_t screenHeight, double dotsPerInch) {
    constexpr int32_t kPanelPixels = 40;
    constexpr int32_t kPanelShortSide = 480;
    constexpr double kMillimetres = 7.0;
    const int32_t shortSide = std::max(1, std::min(screenWidth, screenHeight));
    const int32_t byScreen = kPanelPixels * std::min(shortSide, kPanelShortSide) / kPanelShortSide;
    const auto byDensity = static_cast<int32_t>(kMillimetres * dotsPerInch / 25.4 + 0.5);
    return std::max(byScreen, byDensity);
}

int32_t WindowFit::DialogTopOverKeyboard(const Box& area, const Box& keyboard, const Box& dialog) {
    const bool covers =
        keyboard.width > 0 && keyboard.height > 0 && keyboard.y < dialog.y + dialog.height &&
        dialog.y < keyboard.y + keyboard.height && keyboard.x < dialog.x + dialog.width &&
        dialog.x < keyboard.x + keyboard.width;
    if (!covers) return dialog.y;
    return std::min(dialog.y, std::max(area.y, keyboard.y - dialog.height));
}
