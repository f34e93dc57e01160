#pragma once
#include <QMainWindow>
#include <memory>

#include "display/ViewCommandHooks.h"
#include "display/ViewHost.h"
#include "display/ViewInput.h"
#include "platform/qt/ZelkoraView.h"

struct AppSettings;
class ZelkoraDoc;
class QAction;
class QMenu;

// The main window: the view, worked by taps, keys and the full-screen button menus, and a
// menu bar with File, Time, Graphics, TimeKeeping and Help for a mouse.
class ZelkoraFrame : public QMainWindow, public ViewHost {
  public:
    ZelkoraFrame(AppSettings& settings, ZelkoraDoc& doc);
    ~ZelkoraFrame() override;

    ZelkoraView& view() { return *view_; }
    ViewInput& input() { return *input_; }
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
    // The recorder's, GPS and tools commands; they do nothing until those parts take them.
    ViewCommandHooks hooks_;
    std::unique_ptr<ViewInput> input_;
    bool maximisedBeforeFullScreen_ = false;
};
