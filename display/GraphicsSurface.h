#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/GraphicsPlatform.h"
#include "platform/PixelRect.h"

enum class GraphicsBackEnd : int32_t {
    None = 0,
    Gapi = 1,           // the 5-6-5 frame buffer the window shows as is
    DirectDraw = 2,     // the window's native surface, written in place when it is 5-6-5
    DeviceContext = 3,  // every primitive drawn through the painter
};

// The one drawing object. The plot is drawn into a private 16-bit back buffer (direct
// paths) or into the canvas (painter path) and put on the screen in one step; text and the
// margins always live in the canvas, addressed in screen coordinates. Plot coordinates of
// the pixel primitives are relative to the plot's top-left corner.
class GraphicsSurface {
  public:
    using Rect = platform::PixelRect;

    static constexpr int kOk = 0;
    static constexpr int kAlreadySetUp = 1;
    static constexpr int kNoBackEnd = 2;
    static constexpr int kCannotStart = 4;
    static constexpr int kOutOfMemory = 6;
    static constexpr int kSystemTooOld = 9;
    static constexpr int kNoValidDc = 11;

    explicit GraphicsSurface(platform::GraphicsPlatform& platform);
    ~GraphicsSurface();
    GraphicsSurface(const GraphicsSurface&) = delete;
    GraphicsSurface& operator=(const GraphicsSurface&) = delete;

    // Chooses and opens a back-end from the GraphicsSystem value (0 best, 1 native surface,
    // 2 frame buffer, 3 painter only).
    int Init(int32_t graphicsSystem);
    int Setup(const Rect& window, const Rect& plot);
    void Close();
    int Reset(int32_t graphicsSystem);
    // Closes whatever is open and takes the painter path, which needs nothing of the
    // screen: the way out when a direct path fails to start or refuses a layout.
    int FallBackToDeviceContext();
    // The direct path in use could not present (it refused at the paint): closes it and
    // takes the next in the order, native surface, frame buffer, painter. The caller lays
    // out again.
    int TakeNextPath();
    // True after a Present that a direct path refused, until the next Init or TakeNextPath.
    bool presentRefused() const { return presentRefused_; }

    GraphicsBackEnd GetBackEnd() const { return backEnd_; }
    Rect GetScreenRect() const;
    uint32_t ToDeviceColour(uint32_t colourRef) const;

    void Clear(uint32_t colour);
    void PutPixel(int32_t x, int32_t y, uint32_t colour);
    void PutDot(int32_t x, int32_t y, uint32_t colour);
    void PutDot2(int32_t x, int32_t y, uint32_t upper, uint32_t lower);
    void HorizontalLine(int32_t y, uint32_t colour);

    bool BeginDraw();
    void EndDraw();
    void Present(platform::WindowDc& window);
    void BlitMargins(platform::WindowDc& window);
    void BlitRect(platform::WindowDc& window, const Rect& rect);

    // The message the start-up shows for a non-zero code of Init or Setup.
    static std::string MessageForCode(int code);
    // The hint text naming the back-end.
    static const char* HintText(GraphicsBackEnd backEnd);

    bool ready() const { return ready_ != 0; }
    platform::Canvas* canvas() { return canvas_.get(); }
    const platform::Canvas* canvas() const { return canvas_.get(); }
    int32_t pixelRatio() const { return pixelRatio_; }
    const Rect& windowRect() const { return windowRect_; }
    const Rect& plotRect() const { return plotRect_; }
    const Rect& topRect() const { return topRect_; }
    const Rect& leftRect() const { return leftRect_; }
    const Rect& bottomRect() const { return bottomRect_; }
    int32_t bufferBytes() const { return bufferBytes_; }
    std::span<const uint16_t> backBuffer() const { return backBuffer_; }
    int32_t xPitch() const { return xPitch_; }
    int32_t yPitch() const { return yPitch_; }
    uint32_t deviceWidth() const { return deviceWidth_; }
    uint32_t deviceHeight() const { return deviceHeight_; }

  private:
    bool OpenFrameBuffer();
    // Takes an opened direct path as the one the surface presents through.
    void AdoptDisplay(std::unique_ptr<platform::DirectDisplay> display,
                      const platform::DisplayProperties& p);
    bool OpenNativeSurface();
    void CloseDisplay();
    void CopyToFrameBuffer(uint8_t* frame);
    platform::WindowDc& MarginTarget(platform::WindowDc& window);
    void ReleaseMarginTarget();
    platform::ColourRef CanvasColour(uint32_t deviceColour) const { return deviceColour; }

    platform::GraphicsPlatform& platform_;
    int ready_ = 0;
    std::unique_ptr<platform::Canvas> canvas_;
    std::vector<uint16_t> backBuffer_;
    uint8_t* frameBuffer_ = nullptr;
    std::unique_ptr<platform::DirectDisplay> display_;
    GraphicsBackEnd backEnd_ = GraphicsBackEnd::None;
    Rect windowRect_, topRect_, leftRect_, bottomRect_, plotRect_;
    uint32_t deviceWidth_ = 0, deviceHeight_ = 0;
    int32_t bufferBytes_ = 0;
    uint32_t bitsPerPixel_ = 0;
    int32_t xPitch_ = 0, yPitch_ = 0;
    int32_t bufferXStep_ = 2, bufferRowBytes_ = 0;
    bool drawOpen_ = false;
    bool surfaceDcHeld_ = false;
    int32_t pixelRatio_ = 0;
    int32_t screenWidth_ = 0, screenHeight_ = 0;
    Rect bufferRect_, dotRect_;
    int32_t plotWidth_ = 0;
    bool presentRefused_ = false;
};
