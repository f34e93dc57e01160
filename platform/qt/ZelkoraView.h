#pragma once
#include <QBasicTimer>
#include <QFont>
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

#include "display/GraphicsSurface.h"
#include "display/PlotView.h"
#include "platform/qt/QtGraphics.h"

struct AppSettings;
struct DotStore;
class ViewInput;

// The view window: it turns size changes, paints and the one-second timer into calls on
// the plain PlotView and shows what the drawing surface holds. It is also the surface's
// screen: its frame buffer (a 5-6-5 image shown as is) and, where the window system keeps
// one in 5-6-5, its native backing store.
class ZelkoraView : public QWidget, public platform::qt::ScreenHost {
  public:
    explicit ZelkoraView(AppSettings& settings, QWidget* parent = nullptr);
    ~ZelkoraView() override;

    // Opens the back-end the settings choose; a failure is shown and the painter path
    // taken. Non-zero only when not even that can start.
    int StartGraphics();
    // The dots and the name-field text of the file shown; `loaded` lays out and redraws.
    void ShowDocument(const DotStore* dots, const std::string& nameText,
                      const std::string& notice = {});
    // The first update: modes from the settings, layout, redraw, clock.
    void InitialUpdate();
    // A "Graphics" menu choice.
    void ChooseGraphics(int32_t graphicsSystem);

    // Where taps and keys go (the frame's input handling); none ignores them.
    void SetInput(ViewInput* input) { input_ = input; }
    // The 50 ms one-shot that ends the key-repeat guard.
    void StartKeyGuardTimer();
    // The one-second clock, stopped and started again around the graphics speed test.
    void StopClock() { clock_.stop(); }
    void StartClock() { clock_.start(1000, this); }
    // Called every second with the clock (the recorder's one-second task).
    std::function<void()> onSecond;

    PlotView& plotView() { return view_; }
    GraphicsSurface& surface() { return surface_; }
    const QFont& viewFont() const { return font_; }

    // ScreenHost
    int32_t hostWidth() const override { return width(); }
    int32_t hostHeight() const override { return height(); }
    int32_t hostPixelRatio() const override;
    double exactPixelRatio() const override { return devicePixelRatioF(); }
    QImage* frameBuffer() override;
    QImage* nativeSurface(QPoint& offset) override;
    bool hostPainting() const override { return painting_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void makeFrameBuffer(int32_t ratio);
    void followSize();

    AppSettings& settings_;
    QFont font_;
    platform::qt::QtGraphicsPlatform platform_;
    GraphicsSurface surface_;
    PlotView view_;
    QImage frame_;
    QBasicTimer clock_;
    QBasicTimer keyGuard_;
    ViewInput* input_ = nullptr;
    bool started_ = false;
    bool painting_ = false;
    bool paintsIntoFreshBuffers_ = false;
    int32_t frameRatio_ = 1;  // the pixel ratio the frame buffer and the surface were made for
};
