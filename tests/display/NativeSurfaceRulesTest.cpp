// When the window's native backing store may be written in place, and when that path must
// give way: the decisions behind the native surface, tried without a window system.
#include "platform/NativeSurfaceRules.h"

#include <gtest/gtest.h>

namespace {

using platform::NativeStoreFacts;
using platform::NativeSurfaceRules;

TEST(NativeSurfaceRules, OpenNeedsA16BitScreenAndAWholePixelRatio) {
    EXPECT_EQ(NativeSurfaceRules::OpenRefusal(16, 1.0), nullptr);
    EXPECT_EQ(NativeSurfaceRules::OpenRefusal(16, 2.0), nullptr);
    EXPECT_NE(NativeSurfaceRules::OpenRefusal(24, 1.0), nullptr);
    EXPECT_NE(NativeSurfaceRules::OpenRefusal(32, 2.0), nullptr);
    // Fractional scaling: logical pixels do not map onto whole blocks of the store.
    EXPECT_NE(NativeSurfaceRules::OpenRefusal(16, 1.5), nullptr);
    EXPECT_NE(NativeSurfaceRules::OpenRefusal(16, 3.0), nullptr);
    // The frame buffer is scaled by the window system, but copied in 1 x 1 or 2 x 2 blocks.
    EXPECT_EQ(NativeSurfaceRules::FrameBufferOpenRefusal(1), nullptr);
    EXPECT_EQ(NativeSurfaceRules::FrameBufferOpenRefusal(2), nullptr);
    EXPECT_NE(NativeSurfaceRules::FrameBufferOpenRefusal(3), nullptr);
    EXPECT_NE(NativeSurfaceRules::FrameBufferOpenRefusal(0), nullptr);
}

// A 480 x 300 view at ratio 2 under a 24-pixel menu bar, in a 16-bit store of the window.
NativeStoreFacts scaledWindow() {
    NativeStoreFacts f;
    f.painting = true;
    f.present = true;
    f.is565 = true;
    f.storeWidth = 960;
    f.storeHeight = 648;
    f.bytesPerLine = 1920;
    f.offsetX = 0;
    f.offsetY = 48;
    f.viewWidth = 960;
    f.viewHeight = 600;
    return f;
}

TEST(NativeSurfaceRules, DrawNeedsAPaintAnd565StoreHoldingTheView) {
    EXPECT_EQ(NativeSurfaceRules::DrawRefusal(scaledWindow(), 1920), nullptr);

    // Outside a paint (at start-up, while the window is laid out) the store is not asked
    // for at all: that is where a scaled 16-bit screen crashed.
    NativeStoreFacts f = scaledWindow();
    f.painting = false;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 1920), nullptr);
    f = scaledWindow();
    f.present = false;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 1920), nullptr);
    f = scaledWindow();
    f.is565 = false;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 1920), nullptr);
}

TEST(NativeSurfaceRules, DrawRefusesAStoreThatWouldBeWrittenOutOfPlace) {
    // Rows of another step than the surface was set up with (a wider window, padding).
    NativeStoreFacts f = scaledWindow();
    f.bytesPerLine = 1924;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 1920), nullptr);
    // The view reaching past the store's bottom or right edge, or starting before it.
    f = scaledWindow();
    f.offsetY = 49;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 1920), nullptr);
    f = scaledWindow();
    f.offsetX = 2;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 1920), nullptr);
    f = scaledWindow();
    f.offsetY = -1;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 1920), nullptr);
    // A store of the scale-1 size behind a view described at ratio 2.
    f = scaledWindow();
    f.storeWidth = 480;
    f.storeHeight = 324;
    f.bytesPerLine = 960;
    EXPECT_NE(NativeSurfaceRules::DrawRefusal(f, 960), nullptr);
}

}  // namespace
