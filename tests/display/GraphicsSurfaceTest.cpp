#include <gtest/gtest.h>

#include "display/GraphicsSurface.h"
#include "tests/display/FakeGraphics.h"

namespace {

using Rect = platform::PixelRect;

TEST(GraphicsSurfaceInit, ChoosesNativeSurfaceThenFrameBufferThenPainter) {
    fake::Platform p;
    p.giveFrameBuffer();
    p.nativeSurface.available = true;
    p.nativeSurface.shape(320, 240, 2, 640);
    GraphicsSurface best(p);
    EXPECT_EQ(best.Init(0), 0);
    EXPECT_EQ(best.GetBackEnd(), GraphicsBackEnd::DirectDraw);

    // A native surface that is not 5-6-5 is refused: the frame buffer is next.
    p.nativeSurface.shape(320, 240, 3, 960, 24, false);
    GraphicsSurface second(p);
    EXPECT_EQ(second.Init(1), 0);
    EXPECT_EQ(second.GetBackEnd(), GraphicsBackEnd::Gapi);

    // A frame buffer of 8 bits, or of another size than the screen, ends on the painter.
    p.frameBuffer.shape(320, 240, 1, 320, 8, false);
    GraphicsSurface third(p);
    EXPECT_EQ(third.Init(0), 0);
    EXPECT_EQ(third.GetBackEnd(), GraphicsBackEnd::DeviceContext);
    p.frameBuffer.shape(300, 240, 2, 600);
    GraphicsSurface fourth(p);
    EXPECT_EQ(fourth.Init(2), 0);
    EXPECT_EQ(fourth.GetBackEnd(), GraphicsBackEnd::DeviceContext);
}

TEST(GraphicsSurfaceInit, VersionRulesAndRepeatedInit) {
    fake::Platform p;
    p.giveFrameBuffer();
    p.nativeSurface.available = true;
    p.nativeSurface.shape(320, 240, 2, 640);
    p.major = 4;  // never tries the native surface, even when it is asked for
    GraphicsSurface s(p);
    EXPECT_EQ(s.Init(1), 0);
    EXPECT_EQ(s.GetBackEnd(), GraphicsBackEnd::Gapi);
    EXPECT_EQ(s.Init(3), GraphicsSurface::kAlreadySetUp);
    EXPECT_EQ(s.GetBackEnd(), GraphicsBackEnd::Gapi);
    EXPECT_EQ(s.Reset(3), 0);
    EXPECT_EQ(s.GetBackEnd(), GraphicsBackEnd::DeviceContext);

    p.major = 3;
    GraphicsSurface old(p);
    EXPECT_EQ(old.Init(0), GraphicsSurface::kSystemTooOld);
    EXPECT_EQ(GraphicsSurface::MessageForCode(9), "Cannot use this  \n version of Windows");
    EXPECT_EQ(GraphicsSurface::MessageForCode(5), "");
}

TEST(GraphicsSurfaceColour, ConvertsPerBackEnd) {
    fake::Platform p;
    p.giveFrameBuffer();
    GraphicsSurface s(p);
    EXPECT_EQ(s.ToDeviceColour(0x8080FF), 0u);  // no back-end yet
    s.Init(2);
    // 0x00BBGGRR: red FF, green 80, blue 80.
    EXPECT_EQ(s.ToDeviceColour(0x8080FF), (31u << 11) | (32u << 5) | 16u);
    EXPECT_EQ(s.ToDeviceColour(0xFFFFFF), 0xFFFFu);
    s.Reset(3);
    EXPECT_EQ(s.ToDeviceColour(0x8080FF), 0x8080FFu);
}

class DirectSurface : public ::testing::Test {
  protected:
    fake::Platform p;
    std::unique_ptr<GraphicsSurface> s;
    const Rect window{0, 0, 320, 240};
    const Rect plot{26, 0, 320, 200};

    void start() {
        s = std::make_unique<GraphicsSurface>(p);
        ASSERT_EQ(s->Init(2), 0);
        ASSERT_EQ(s->GetBackEnd(), GraphicsBackEnd::Gapi);
        ASSERT_EQ(s->Setup(window, plot), 0);
    }
};

// A native surface that gives no pixels at the paint (a store that is not 5-6-5, or not
// there yet) is refused there: the frame buffer is next, and after it the painter.
TEST_F(DirectSurface, PathRefusedAtThePaintGivesWayToTheNext) {
    p.nativeSurface.available = true;
    p.nativeSurface.shape(640, 480, 2, 1280);
    p.ratio = 2;
    p.giveFrameBuffer();
    p.nativeSurface.refusesDraw = true;
    s = std::make_unique<GraphicsSurface>(p);
    ASSERT_EQ(s->Init(0), 0);
    ASSERT_EQ(s->GetBackEnd(), GraphicsBackEnd::DirectDraw);
    ASSERT_EQ(s->Setup(window, plot), 0);
    EXPECT_EQ(s->pixelRatio(), 2);
    fake::Window screen(640, 480);
    s->Present(screen);
    EXPECT_TRUE(s->presentRefused());

    EXPECT_EQ(s->TakeNextPath(), 0);
    EXPECT_FALSE(s->presentRefused());
    EXPECT_EQ(s->GetBackEnd(), GraphicsBackEnd::Gapi);
    ASSERT_EQ(s->Setup(window, plot), 0);
    s->Clear(0x1234);
    s->Present(screen);
    EXPECT_FALSE(s->presentRefused());
    EXPECT_EQ(p.frameBuffer.pixel(2 * plot.left, 0), 0x1234);

    p.frameBuffer.refusesDraw = true;
    s->Present(screen);
    EXPECT_TRUE(s->presentRefused());
    EXPECT_EQ(s->TakeNextPath(), 0);
    EXPECT_EQ(s->GetBackEnd(), GraphicsBackEnd::DeviceContext);
    EXPECT_EQ(s->Setup(window, plot), 0);
}

TEST_F(DirectSurface, ClipsPixelsAndDots) {
    p.giveFrameBuffer();
    start();
    EXPECT_EQ(s->pixelRatio(), 1);
    const int32_t w = plot.width(), h = plot.height();
    auto at = [&](int32_t x, int32_t y) { return s->backBuffer()[static_cast<size_t>(y * w + x)]; };
    s->PutPixel(w - 1, h - 1, 0x1234);
    EXPECT_EQ(at(w - 1, h - 1), 0x1234);
    s->PutDot(w - 1, 5, 0x0F0F);  // would leave the plot
    s->PutDot(5, h - 1, 0x0F0F);
    EXPECT_EQ(at(w - 1, 5), 0);
    EXPECT_EQ(at(5, h - 1), 0);
    s->PutDot(w - 2, h - 2, 0x0F0F);
    EXPECT_EQ(at(w - 1, h - 1), 0x0F0F);
    s->PutPixel(-1, 0, 0xFFFF);
    s->PutPixel(w, 0, 0xFFFF);
    s->HorizontalLine(h, 0xFFFF);  // outside: ignored, never written past the buffer
    s->HorizontalLine(-1, 0xFFFF);
    EXPECT_EQ(at(0, 0), 0);
    s->PutDot2(10, 10, 0x1111, 0x2222);
    EXPECT_EQ(at(11, 10), 0x1111);
    EXPECT_EQ(at(10, 11), 0x2222);
    s->HorizontalLine(20, 0x3333);
    EXPECT_EQ(at(0, 20), 0x3333);
    EXPECT_EQ(at(w - 1, 20), 0x3333);
    EXPECT_EQ(s->bufferBytes(), w * h * 2);
}

TEST_F(DirectSurface, PresentsOneBlockWhenPitchesAgree) {
    // A frame buffer just as wide as the plot, which starts at the window's left edge.
    p.giveFrameBuffer();
    s = std::make_unique<GraphicsSurface>(p);
    ASSERT_EQ(s->Init(2), 0);
    ASSERT_EQ(s->Setup(window, {0, 10, 320, 200}), 0);
    s->PutPixel(0, 0, 0xAAAA);
    s->PutPixel(319, 189, 0xBBBB);
    fake::Window w(320, 240);
    s->Present(w);
    EXPECT_EQ(p.frameBuffer.pixel(0, 10), 0xAAAA);
    EXPECT_EQ(p.frameBuffer.pixel(319, 199), 0xBBBB);
    EXPECT_EQ(p.frameBuffer.pixel(0, 9), 0);
    EXPECT_EQ(p.frameBuffer.beginCount, 1);
    EXPECT_EQ(p.frameBuffer.endCount, 1);
}

TEST_F(DirectSurface, PresentsRowByRowIntoAWiderBuffer) {
    p.giveFrameBuffer();
    p.frameBuffer.shape(320, 240, 2, 700);  // padded rows
    start();
    s->PutPixel(0, 0, 0x1001);
    s->PutPixel(293, 199, 0x2002);
    fake::Window w(320, 240);
    s->Present(w);
    EXPECT_EQ(p.frameBuffer.pixel(26, 0), 0x1001);
    EXPECT_EQ(p.frameBuffer.pixel(319, 199), 0x2002);
    EXPECT_EQ(p.frameBuffer.pixel(25, 0), 0);
}

TEST_F(DirectSurface, PresentsPixelByPixelWithOtherPitches) {
    // Pixels 4 bytes apart, rows stored bottom-up (negative pitch).
    p.giveFrameBuffer();
    p.frameBuffer.shape(320, 240, 4, -1280);
    start();
    s->PutPixel(0, 0, 0x4004);
    s->PutPixel(1, 0, 0x5005);
    s->PutPixel(293, 199, 0x6006);
    fake::Window w(320, 240);
    s->Present(w);
    EXPECT_EQ(p.frameBuffer.pixel(26, 0), 0x4004);
    EXPECT_EQ(p.frameBuffer.pixel(27, 0), 0x5005);
    EXPECT_EQ(p.frameBuffer.pixel(319, 199), 0x6006);
}

TEST_F(DirectSurface, DoublesEveryPixelAtRatioTwo) {
    p.ratio = 2;
    p.giveFrameBuffer();
    start();
    EXPECT_EQ(s->pixelRatio(), 2);
    EXPECT_EQ(s->bufferBytes(), plot.width() * plot.height() * 2 * 4);
    s->PutPixel(3, 4, 0x7007);
    fake::Window w(320, 240);
    s->Present(w);
    const int32_t x = 2 * (26 + 3), y = 2 * 4;
    EXPECT_EQ(p.frameBuffer.pixel(x, y), 0x7007);
    EXPECT_EQ(p.frameBuffer.pixel(x + 1, y), 0x7007);
    EXPECT_EQ(p.frameBuffer.pixel(x, y + 1), 0x7007);
    EXPECT_EQ(p.frameBuffer.pixel(x + 1, y + 1), 0x7007);
    EXPECT_EQ(p.frameBuffer.pixel(x + 2, y), 0);
    EXPECT_EQ(p.frameBuffer.pixel(x - 1, y), 0);
}

TEST_F(DirectSurface, CopiesMarginsAndRectanglesFromTheCanvas) {
    p.giveFrameBuffer();
    start();
    fake::Window w(320, 240);
    s->BlitMargins(w);
    ASSERT_EQ(w.copies.size(), 2u);
    EXPECT_EQ(w.copies[0].source, (Rect{0, 0, 26, 200}));
    EXPECT_EQ(w.copies[1].source, (Rect{0, 200, 320, 240}));
    EXPECT_EQ(w.copies[1].y, 200);
    s->BlitRect(w, {5, 220, 100, 239});
    EXPECT_EQ(w.copies[2].x, 5);
    EXPECT_EQ(w.copies[2].y, 220);
}

TEST(GraphicsSurfaceSetup, FailuresAndThePainterPath) {
    fake::Platform p;
    GraphicsSurface none(p);
    EXPECT_EQ(none.Setup({0, 0, 320, 240}, {26, 0, 320, 200}), GraphicsSurface::kNoBackEnd);

    // A native surface twice as wide as the screen in a window of another size: ratio 0,
    // no canvas, refused; the surface is closed.
    p.nativeSurface.available = true;
    p.nativeSurface.shape(500, 240, 2, 1000);
    GraphicsSurface native(p);
    ASSERT_EQ(native.Init(1), 0);
    ASSERT_EQ(native.GetBackEnd(), GraphicsBackEnd::DirectDraw);
    EXPECT_EQ(native.Setup({0, 0, 320, 240}, {26, 0, 320, 200}), GraphicsSurface::kNoValidDc);
    EXPECT_EQ(native.GetBackEnd(), GraphicsBackEnd::None);
    EXPECT_EQ(native.FallBackToDeviceContext(), 0);
    EXPECT_EQ(native.Setup({0, 0, 320, 240}, {26, 0, 320, 200}), 0);

    // The painter path draws every primitive into the canvas at plot offsets.
    GraphicsSurface painter(p);
    ASSERT_EQ(painter.Init(3), 0);
    ASSERT_EQ(painter.Setup({0, 0, 320, 240}, {26, 0, 320, 200}), 0);
    painter.Clear(0xFFFFFF);
    painter.PutPixel(0, 0, 0x0000FF);
    painter.PutDot(10, 10, 0x00FF00);
    auto* canvas = static_cast<const SoftwareCanvas*>(painter.canvas());
    EXPECT_EQ(canvas->at(26, 0), SoftwareCanvas::To565(0x0000FF));
    EXPECT_EQ(canvas->at(37, 11), SoftwareCanvas::To565(0x00FF00));
    EXPECT_EQ(canvas->at(25, 0), 0);  // the margin is not the plot's
    fake::Window w(320, 240);
    painter.Present(w);
    ASSERT_EQ(w.copies.size(), 1u);
    EXPECT_EQ(w.copies[0].source, (Rect{26, 0, 320, 200}));
    EXPECT_EQ(w.copies[0].x, 26);

    p.canvasFails = true;
    GraphicsSurface noCanvas(p);
    noCanvas.Init(3);
    EXPECT_EQ(noCanvas.Setup({0, 0, 320, 240}, {26, 0, 320, 200}), GraphicsSurface::kNoValidDc);
}

}  // namespace
