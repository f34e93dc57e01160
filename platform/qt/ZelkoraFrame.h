#pragma once
#include <QMainWindow>
#include <memory>

#include "app/GpsViewCommands.h"
#include "display/ViewCommandHooks.h"
#include "display/ViewHost.h"
#include "display/ViewInput.h"
#include "platform/qt/GpsForms.h"
#include "platform/qt/ZelkoraView.h"

struct AppSettings;
class ZelkoraDoc;
class QAction;
class QMenu;

// The main window: the view, worked by taps, keys and the full-screen button menus, and a
// menu bar with File, Time, Graphics, GPS, TimeKeeping and Help for a mouse.
class ZelkoraFrame : public QMainWindow, public ViewHost {
  public:
    ZelkoraFrame(AppSettings& settings, ZelkoraDoc& doc);
    ~ZelkoraFrame() override;

    ZelkoraView& view() { return *view_; }
    ViewInput& input() { return *input_; }
    GpsViewCommands& gps() { return gps_; }
    QtGpsWindows& gpsWindows() { return gpsWindows_; }
    // Hands the document's current file to the view.
    void ShowCurrentFile();
    // Opens within the available area of its screen: maximised on a screen smaller than
    // the preferred size, else at that size.
    void ShowOnScreen();

    // ViewHost
    void RunMenu(DialogMenuTemplate& menu) override;
    bool AskYesNo(const std::string& text) override;
    void ApplyFullScreen(bool on) override;
    void StartKeyGuardTimer() override { view_->StartKeyGuardTimer(); }
    void CloseWindow() override;
    void OpenFile() override;
    void ShowAbout() override { showAbout(); }
    bool EditFrequencyRange(int32_t& lowKHz, int32_t& highKHz) override;
    void RecordingOptions() override;
    void DisplayOptions() override;
    void ChooseFolder() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    void openFile();
    void showAbout();
    void updateGraphicsMenu();
    void updateTimeMenu();

    AppSettings& settings_;
    ZelkoraDoc& doc_;
    ZelkoraView* view_;
    QMenu* graphicsMenu_ = nullptr;
    QMenu* timeMenu_ = nullptr;
    // The GPS commands go to `gps_`; the recorder's and tools commands do nothing yet.
    class Hooks : public ViewCommandHooks {
      public:
        explicit Hooks(GpsViewCommands& gps) : gps_(gps) {}
        void GpsCommand(int32_t code) override { gps_.Perform(code); }
        void OpenGpsMap() override { gps_.OpenMap(); }

      private:
        GpsViewCommands& gps_;
    };
    QtGpsWindows gpsWindows_{this};
    GpsViewCommands gps_{settings_, doc_, gpsWindows_};
    Hooks hooks_{gps_};
    std::unique_ptr<ViewInput> input_;
    bool maximisedBeforeFullScreen_ = false;
};
