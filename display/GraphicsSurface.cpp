#include "display/GraphicsSurface.h"

#include <algorithm>
#include <cstring>
#include <new>

GraphicsSurface::GraphicsSurface(platform::GraphicsPlatform& platform) : platform_(platform) {}

GraphicsSurface::~GraphicsSurface() {
    Close();
}

int GraphicsSurface::Init(int32_t graphicsSystem) {
    if (backEnd_ != GraphicsBackEnd::None) return kAlreadySetUp;
    drawOpen_ = false;
    surfaceDcHeld_ = false;
    windowRect_ = topRect_ = leftRect_ = bottomRect_ = plotRect_ = Rect{};
    screenWidth_ = screenHeight_ = 0;

    const int32_t major = platform_.systemMajorVersion();
    if (major < 4) return kSystemTooOld;

    // An unknown choice (a hand-edited profile) is taken as "Best": leaving no back-end at
    // all would give a window that never draws.
    if (graphicsSystem < 0 || graphicsSystem > 3) graphicsSystem = 0;
    switch (graphicsSystem) {
        case 0:
        case 1:
            if (major > 4 && OpenNativeSurface()) {
                backEnd_ = GraphicsBackEnd::DirectDraw;
            } else if (OpenFrameBuffer()) {
                backEnd_ = GraphicsBackEnd::Gapi;
            } else {
                backEnd_ = GraphicsBackEnd::DeviceContext;
            }
            break;
        case 2:
            backEnd_ = OpenFrameBuffer() ? GraphicsBackEnd::Gapi : GraphicsBackEnd::DeviceContext;
            break;
        default:
            backEnd_ = GraphicsBackEnd::DeviceContext;
            break;
    }
    return kOk;
}

bool GraphicsSurface::OpenFrameBuffer() {
    std::unique_ptr<platform::DirectDisplay> display = platform_.loadFrameBuffer();
    if (!display || !display->open()) return false;
    const platform::DisplayProperties p = display->properties();
    const int32_t ratio = platform_.devicePixelRatio();
    const bool accepted = p.bitsPerPixel == 16 && p.direct565 &&
                          p.width == static_cast<uint32_t>(platform_.screenWidth() * ratio) &&
                          p.height == static_cast<uint32_t>(platform_.screenHeight() * ratio);
    if (!accepted) {
        display->close();
        return false;
    }
    AdoptDisplay(std::move(display), p);
    return true;
}

void GraphicsSurface::AdoptDisplay(std::unique_ptr<platform::DirectDisplay> display,
                                   const platform::DisplayProperties& p) {
    deviceWidth_ = p.width;
    deviceHeight_ = p.height;
    xPitch_ = p.xPitch;
    yPitch_ = p.yPitch;
    bitsPerPixel_ = p.bitsPerPixel;
    display_ = std::move(display);
}

bool GraphicsSurface::OpenNativeSurface() {
    std::unique_ptr<platform::DirectDisplay> display = platform_.loadNativeSurface();
    if (!display || !display->open()) return false;
    const platform::DisplayProperties p = display->properties();
    if (p.bitsPerPixel != 16 || !p.direct565) {
        display->close();
        return false;
    }
    AdoptDisplay(std::move(display), p);
    return true;
}

void GraphicsSurface::CloseDisplay() {
    if (display_) {
        ReleaseMarginTarget();
        display_->close();
        display_.reset();
    }
    deviceWidth_ = deviceHeight_ = 0;
    xPitch_ = yPitch_ = 0;
    bitsPerPixel_ = 0;
}

int GraphicsSurface::Setup(const Rect& window, const Rect& plot) {
    if (backEnd_ == GraphicsBackEnd::None) return kNoBackEnd;
    windowRect_ = topRect_ = leftRect_ = bottomRect_ = plotRect_ = Rect{};
    screenWidth_ = screenHeight_ = 0;
    ready_ = 0;

    canvas_.reset();
    screenWidth_ = platform_.screenWidth();
    screenHeight_ = platform_.screenHeight();
    if (screenWidth_ <= 0 || screenHeight_ <= 0 || plot.width() <= 0 || plot.height() <= 0) {
        Close();
        return kNoValidDc;
    }

    const int32_t w = window.right - window.left;
    if (deviceWidth_ != 0 && deviceWidth_ == static_cast<uint32_t>(w)) {
        pixelRatio_ = 1;
    } else if (deviceWidth_ != 0 && deviceWidth_ == static_cast<uint32_t>(2 * w)) {
        pixelRatio_ = 2;
    } else {
        pixelRatio_ = 0;
    }
    // The canvas is made as large as the screen, so a window of another width cannot be
    // copied straight to the frame buffer.
    if (w != screenWidth_) {
        pixelRatio_ = 0;
        if (backEnd_ == GraphicsBackEnd::Gapi) {
            CloseDisplay();
            backEnd_ = GraphicsBackEnd::DeviceContext;
        }
    }
    if (pixelRatio_ != 0 || backEnd_ == GraphicsBackEnd::DeviceContext) {
        canvas_ = platform_.createCanvas(screenWidth_, screenHeight_);
    }
    if (!canvas_) {
        Close();
        return kNoValidDc;
    }

    plotWidth_ = plot.right - plot.left;
    const int64_t pixels = int64_t{plotWidth_} * (plot.bottom - plot.top);
    const int64_t bytes = pixels * 2 * (pixelRatio_ == 2 ? 4 : 1);
    try {
        backBuffer_.assign(static_cast<size_t>(bytes / 2), 0);
    } catch (const std::bad_alloc&) {
        Close();
        return kOutOfMemory;
    }
    bufferBytes_ = static_cast<int32_t>(bytes);

    windowRect_ = window;
    plotRect_ = plot;
    topRect_ = {window.left, window.top, window.right, plot.top};
    leftRect_ = {window.left, plot.top, plot.left, plot.bottom};
    bottomRect_ = {window.left, plot.bottom, window.right, window.bottom};
    bufferXStep_ = 2;
    bufferRowBytes_ = plotWidth_ * 2;
    bufferRect_ = {0, 0, plotWidth_, plot.bottom - plot.top};
    dotRect_ = {0, 0, plotWidth_ - 1, plot.bottom - plot.top - 1};
    ready_ = 1;
    return kOk;
}

void GraphicsSurface::Close() {
    EndDraw();
    presentRefused_ = false;
    canvas_.reset();
    std::vector<uint16_t>().swap(backBuffer_);
    bufferBytes_ = 0;
    CloseDisplay();
    backEnd_ = GraphicsBackEnd::None;
    ready_ = 0;
    pixelRatio_ = 0;
}

int GraphicsSurface::Reset(int32_t graphicsSystem) {
    Close();
    return Init(graphicsSystem);
}

int GraphicsSurface::TakeNextPath() {
    const GraphicsBackEnd refused = backEnd_;
    Close();
    if (platform_.systemMajorVersion() < 4) return kSystemTooOld;
    if (refused == GraphicsBackEnd::DirectDraw && OpenFrameBuffer()) {
        backEnd_ = GraphicsBackEnd::Gapi;
    } else {
        backEnd_ = GraphicsBackEnd::DeviceContext;
    }
    return kOk;
}

int GraphicsSurface::FallBackToDeviceContext() {
    Close();
    if (platform_.systemMajorVersion() < 4) return kSystemTooOld;
    backEnd_ = GraphicsBackEnd::DeviceContext;
    return kOk;
}

GraphicsSurface::Rect GraphicsSurface::GetScreenRect() const {
    return {0, 0, platform_.screenWidth(), platform_.screenHeight()};
}

uint32_t GraphicsSurface::ToDeviceColour(uint32_t c) const {
    switch (backEnd_) {
        case GraphicsBackEnd::Gapi:
        case GraphicsBackEnd::DirectDraw: {
            const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
            return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        }
        case GraphicsBackEnd::DeviceContext:
            return c;
        default:
            return 0;
    }
}

void GraphicsSurface::Clear(uint32_t colour) {
    if (!ready_) return;
    if (backEnd_ == GraphicsBackEnd::DeviceContext) {
        canvas_->fillRect(plotRect_, CanvasColour(colour));
    } else {
        std::fill(backBuffer_.begin(), backBuffer_.end(), static_cast<uint16_t>(colour));
    }
}

void GraphicsSurface::PutPixel(int32_t x, int32_t y, uint32_t colour) {
    if (backBuffer_.empty() || !bufferRect_.contains(x, y)) return;
    if (backEnd_ == GraphicsBackEnd::DeviceContext) {
        canvas_->setPixel(plotRect_.left + x, plotRect_.top + y, CanvasColour(colour));
    } else {
        backBuffer_[static_cast<size_t>(y) * plotWidth_ + x] = static_cast<uint16_t>(colour);
    }
}

void GraphicsSurface::PutDot(int32_t x, int32_t y, uint32_t colour) {
    PutDot2(x, y, colour, colour);
}

void GraphicsSurface::PutDot2(int32_t x, int32_t y, uint32_t upper, uint32_t lower) {
    if (backBuffer_.empty() || !dotRect_.contains(x, y)) return;
    if (backEnd_ == GraphicsBackEnd::DeviceContext) {
        const int32_t sx = plotRect_.left + x, sy = plotRect_.top + y;
        canvas_->fillRect({sx, sy, sx + 2, sy + 1}, CanvasColour(upper));
        canvas_->fillRect({sx, sy + 1, sx + 2, sy + 2}, CanvasColour(lower));
    } else {
        uint16_t* p = backBuffer_.data() + static_cast<size_t>(y) * plotWidth_ + x;
        p[0] = p[1] = static_cast<uint16_t>(upper);
        p[plotWidth_] = p[plotWidth_ + 1] = static_cast<uint16_t>(lower);
    }
}

void GraphicsSurface::HorizontalLine(int32_t y, uint32_t colour) {
    // Rows outside the plot are ignored rather than written past the buffer.
    if (backBuffer_.empty() || y < 0 || y >= bufferRect_.bottom) return;
    if (backEnd_ == GraphicsBackEnd::DeviceContext) {
        canvas_->fillRect(
            {plotRect_.left, plotRect_.top + y, plotRect_.right, plotRect_.top + y + 1},
            CanvasColour(colour));
    } else {
        uint16_t* row = backBuffer_.data() + static_cast<size_t>(y) * plotWidth_;
        std::fill(row, row + plotWidth_, static_cast<uint16_t>(colour));
    }
}

bool GraphicsSurface::BeginDraw() {
    if (drawOpen_) EndDraw();
    if (display_ &&
        (backEnd_ == GraphicsBackEnd::Gapi || backEnd_ == GraphicsBackEnd::DirectDraw)) {
        frameBuffer_ = display_->beginDraw();
        if (frameBuffer_ == nullptr) {
            display_->endDraw();
        } else {
            drawOpen_ = true;
        }
    } else {
        frameBuffer_ = nullptr;
    }
    return drawOpen_;
}

void GraphicsSurface::EndDraw() {
    if (drawOpen_ && display_) display_->endDraw();
    drawOpen_ = false;
    frameBuffer_ = nullptr;
}

void GraphicsSurface::CopyToFrameBuffer(uint8_t* frame) {
    const int32_t rows = plotRect_.bottom - plotRect_.top;
    const int32_t cols = plotWidth_;
    const uint16_t* src = backBuffer_.data();
    if (pixelRatio_ == 1) {
        uint8_t* dest = frame + static_cast<ptrdiff_t>(plotRect_.top) * yPitch_ +
                        static_cast<ptrdiff_t>(plotRect_.left) * xPitch_;
        if (xPitch_ == 2 && yPitch_ == bufferRowBytes_) {
            std::memcpy(dest, src, static_cast<size_t>(rows) * bufferRowBytes_);
        } else if (xPitch_ == 2) {
            for (int32_t r = 0; r < rows; ++r, dest += yPitch_, src += cols) {
                std::memcpy(dest, src, static_cast<size_t>(bufferRowBytes_));
            }
        } else {
            for (int32_t r = 0; r < rows; ++r, dest += yPitch_) {
                uint8_t* p = dest;
                for (int32_t c = 0; c < cols; ++c, p += xPitch_) std::memcpy(p, src++, 2);
            }
        }
    } else if (pixelRatio_ == 2) {
        uint8_t* dest = frame + 2 * (static_cast<ptrdiff_t>(plotRect_.top) * yPitch_ +
                                     static_cast<ptrdiff_t>(plotRect_.left) * xPitch_);
        for (int32_t r = 0; r < rows; ++r, dest += 2 * yPitch_) {
            uint8_t* p = dest;
            for (int32_t c = 0; c < cols; ++c, p += 2 * xPitch_, ++src) {
                std::memcpy(p, src, 2);
                std::memcpy(p + xPitch_, src, 2);
                std::memcpy(p + xPitch_ + yPitch_, src, 2);
                std::memcpy(p + yPitch_, src, 2);
            }
        }
    }
}

void GraphicsSurface::Present(platform::WindowDc& window) {
    if (!ready_) return;
    if (backEnd_ == GraphicsBackEnd::DeviceContext) {
        window.blit(*canvas_, plotRect_, plotRect_.left - windowRect_.left,
                    plotRect_.top - windowRect_.top);
        return;
    }
    if (BeginDraw()) {
        CopyToFrameBuffer(frameBuffer_);
        EndDraw();
    } else {
        presentRefused_ = true;
    }
}

platform::WindowDc& GraphicsSurface::MarginTarget(platform::WindowDc& window) {
    if (backEnd_ != GraphicsBackEnd::DirectDraw || !display_) return window;
    ReleaseMarginTarget();
    EndDraw();
    platform::WindowDc* dc = display_->surfaceDc();
    if (dc == nullptr) return window;
    surfaceDcHeld_ = true;
    return *dc;
}

void GraphicsSurface::ReleaseMarginTarget() {
    if (surfaceDcHeld_ && display_) display_->releaseSurfaceDc();
    surfaceDcHeld_ = false;
}

void GraphicsSurface::BlitMargins(platform::WindowDc& window) {
    if (!ready_) return;
    platform::WindowDc& target = MarginTarget(window);
    // The surface's own context is addressed in screen coordinates, the window's in its own.
    const int32_t dx = surfaceDcHeld_ ? 0 : windowRect_.left;
    const int32_t dy = surfaceDcHeld_ ? 0 : windowRect_.top;
    if (!leftRect_.empty())
        target.blit(*canvas_, leftRect_, leftRect_.left - dx, leftRect_.top - dy);
    if (!bottomRect_.empty()) {
        target.blit(*canvas_, bottomRect_, bottomRect_.left - dx, bottomRect_.top - dy);
    }
    ReleaseMarginTarget();
}

void GraphicsSurface::BlitRect(platform::WindowDc& window, const Rect& rect) {
    if (!ready_ || rect.empty()) return;
    platform::WindowDc& target = MarginTarget(window);
    const int32_t dx = surfaceDcHeld_ ? 0 : windowRect_.left;
    const int32_t dy = surfaceDcHeld_ ? 0 : windowRect_.top;
    target.blit(*canvas_, rect, rect.left - dx, rect.top - dy);
    ReleaseMarginTarget();
}

std::string GraphicsSurface::MessageForCode(int code) {
    switch (code) {
        case kAlreadySetUp:
            return "Software Error \n Graphics already setup";
        case kCannotStart:
            return "Cannot start the \n graphics system";
        case kOutOfMemory:
            return "Memory error \n Cannot start graphics";
        case kSystemTooOld:
            return "Cannot use this  \n version of Windows";
        case kNoValidDc:
            return "Cannot get valid DC \n Cannot start graphics";
        default:
            return "";
    }
}

const char* GraphicsSurface::HintText(GraphicsBackEnd backEnd) {
    switch (backEnd) {
        case GraphicsBackEnd::Gapi:
            return "Using GAPI";
        case GraphicsBackEnd::DirectDraw:
            return "Using DirectDraw";
        case GraphicsBackEnd::DeviceContext:
            return "Using DeviceContext";
        default:
            return "Using No Graphics";
    }
}
