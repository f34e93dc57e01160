#pragma once
#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/GpsViewCommands.h"
#include "display/LiveSession.h"
#include "display/ViewCommandHooks.h"
#include "display/ViewHost.h"
#include "display/ViewInput.h"
#include "platform/qt/GpsForms.h"
#include "platform/qt/ZelkoraView.h"

struct AppSettings;
class ZelkoraDoc;
class QAction;
class QMenu;
class QTimer;

// The main window: the view, worked by taps, keys and the full-screen button menus, and a
// menu bar with File, Rec, Time, Graphics, GPS, TimeKeeping and Help for a mouse (only "STOP" while
// a recording is shown live).
class ZelkoraFrame : public QMainWindow, public ViewHost, public LiveHost {
  public:
    ZelkoraFrame(AppSettings& settings, ZelkoraDoc& doc);
    ~ZelkoraFrame() override;

    ZelkoraView& view() { return *view_; }
    ViewInput& input() { return *input_; }
    GpsViewCommands& gps() { return gps_; }
    QtGpsWindows& gpsWindows() { return gpsWindows_; }
    LiveSession& live() { return *live_; }
    // Hands the document's current file to the view.
    void ShowCurrentFile();
    // Opens within the available area of its screen: maximised on a screen smaller than
    // the preferred size, else at that size.
    void ShowOnScreen();
    // "GraphSpeed": times the drawing of the back-end in use, reports it and draws the plot
    // again.
    void RunSpeedTest();
    // How long each of its timed batches lasts at least.
    int32_t speedTestBatchMs = 1000;

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

    // LiveHost
    void StartDisplayTimer() override;
    void StopDisplayTimer() override;
    void ShowLiveMenuBar(bool live) override;
    int32_t SearchPorts(acquisition::CommFile& port) override;
    // How long each status of the port search stays readable at least.
    int32_t portStatusHoldMs = 1000;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenus();
    void openFile();
    void showAbout();
    void updateGraphicsMenu();
    void updateTimeMenu();
    void updateRecordMenu();
    void runSerialTest();

    AppSettings& settings_;
    ZelkoraDoc& doc_;
    ZelkoraView* view_;
    QMenu* graphicsMenu_ = nullptr;
    QMenu* timeMenu_ = nullptr;
    QMenu* recordMenu_ = nullptr;
    QAction* stopAction_ = nullptr;  // the menu bar's one item while live
    QTimer* displayTimer_ = nullptr;

    // The view's commands: the recorder's go to the live session, the GPS commands to `gps_`,
    // the tools command to the serial test.
    class Commands : public ViewCommandHooks {
      public:
        explicit Commands(GpsViewCommands& gps) : gps_(gps) {}
        LiveSession* live = nullptr;
        std::function<void()> serialTest;
        void RecordCommand(int32_t code) override { live->RecordCommand(code); }
        void StartRecording() override { live->StartRecording(); }
        void StopRecording() override { live->StopRecording(); }
        void SaveRecording() override { live->SaveRecording(); }
        void GpsCommand(int32_t code) override { gps_.Perform(code); }
        void OpenGpsMap() override { gps_.OpenMap(); }
        void ToolsCommand(int32_t code) override {
            if (code == kSerialTest && serialTest) serialTest();
        }
        static constexpr int32_t kSerialTest = 113;

      private:
        GpsViewCommands& gps_;
    };
    QtGpsWindows gpsWindows_{this};
    GpsViewCommands gps_{settings_, doc_, gpsWindows_};
    Commands hooks_{gps_};
    std::unique_ptr<ViewInput> input_;
    std::unique_ptr<LiveSession> live_;
    bool maximisedBeforeFullScreen_ = false;
    QRect geometryBeforeFullScreen_;
    int32_t gpsState_ = -1000;  // the GPS link's state at the last second; none gives a space
};
