#pragma once
#include <cstdint>

namespace platform {

// What the window's native backing store is when the surface asks to write into it.
struct NativeStoreFacts {
    bool painting = false;  // the window is inside its paint (the store exists only then)
    bool present = false;   // the store has an image
    bool is565 = false;     // 16-bit 5-6-5 pixels
    int32_t storeWidth = 0, storeHeight = 0;  // device pixels
    int32_t bytesPerLine = 0;
    int32_t offsetX = 0, offsetY = 0;       // the view's origin in the store, device pixels
    int32_t viewWidth = 0, viewHeight = 0;  // device pixels
};

// Whether the native-surface path can serve, decided apart from the window system so that
// every refusal can be tried without one. Each returns null when the path may be used, else
// the reason it is refused.
class NativeSurfaceRules {
  public:
    // At open: the screen must be 16 bits deep and each logical pixel a whole block of
    // device pixels (1 or 2 across), or rows and columns of the store would not line up.
    static const char* OpenRefusal(int32_t screenDepth, double pixelRatio) {
        if (screenDepth != 16) return "the screen is not 16 bits deep";
        if (pixelRatio != 1.0 && pixelRatio != 2.0) return "the device-pixel ratio is not 1 or 2";
        return nullptr;
    }

    // The frame buffer is the program's own 16-bit image, shown scaled by the window
    // system, so any depth does; but the surface copies a plot pixel to a block of 1 x 1 or
    // 2 x 2 device pixels only, so a screen of 3 device pixels or more per pixel is refused.
    static const char* FrameBufferOpenRefusal(int32_t wholePixelRatio) {
        if (wholePixelRatio != 1 && wholePixelRatio != 2) {
            return "the device-pixel ratio is not 1 or 2";
        }
        return nullptr;
    }

    // At each paint: the store must be there, 5-6-5, with the row step the surface was set
    // up with (`describedPitch`), and hold the whole view.
    static const char* DrawRefusal(const NativeStoreFacts& f, int32_t describedPitch) {
        if (!f.painting) return "the backing store is reachable only while the window paints";
        if (!f.present) return "the window has no backing store";
        if (!f.is565) return "the backing store is not 16-bit 5-6-5";
        if (f.bytesPerLine != describedPitch) return "the backing store's rows are not the view's";
        if (f.offsetX < 0 || f.offsetY < 0 || f.viewWidth <= 0 || f.viewHeight <= 0 ||
            int64_t{f.offsetX} + f.viewWidth > f.storeWidth ||
            int64_t{f.offsetY} + f.viewHeight > f.storeHeight ||
            int64_t{f.viewWidth} * 2 > f.bytesPerLine) {
            return "the view does not lie inside the backing store";
        }
        return nullptr;
    }
};

}  // namespace platform
