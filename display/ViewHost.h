#pragma once
#include <cstdint>
#include <string>

class DialogMenuTemplate;

// What the view's input handling asks of the window system: modal menus, dialogs and
// questions, the full-screen switch, the key-repeat timer and closing the main window.
class ViewHost {
  public:
    virtual ~ViewHost() = default;

    // Runs a full-screen button menu modally (see DialogMenuTemplate::Runner).
    virtual void RunMenu(DialogMenuTemplate& menu) = 0;
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // Covers the screen without a menu bar, or back to an ordinary window.
    virtual void ApplyFullScreen(bool on) = 0;
    // Starts (or restarts) the 50 ms one-shot that ends the key-repeat guard.
    virtual void StartKeyGuardTimer() = 0;
    // Asks the main window to close, as its close button would.
    virtual void CloseWindow() = 0;

    // The framework's commands and the option dialogs; each is modal.
    virtual void OpenFile() {}
    virtual void ShowAbout() {}
    // The frequency-range dialog on whole kilohertz; true on OK.
    virtual bool EditFrequencyRange(int32_t& /*lowKHz*/, int32_t& /*highKHz*/) { return false; }
    virtual void RecordingOptions() {}
    virtual void DisplayOptions() {}
    virtual void ChooseFolder() {}
};
