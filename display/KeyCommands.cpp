#include "display/KeyCommands.h"

KeyCommands::Action KeyCommands::For(Key key, bool live, bool allFile, int32_t keyShifted) {
    const bool shifted = keyShifted == 1;
    if (live) {
        switch (key) {
            case Key::Up:
                return Action::ScaleFiner;  // fewer dots per column
            case Key::Down:
                return Action::ScaleCoarser;
            case Key::Button1:
                return Action::StopRecording;
            case Key::Button2:
                return Action::LiveMenu;
            case Key::Button4:
                return Action::SaveRecording;
            default:
                return Action::Nothing;
        }
    }
    switch (key) {
        case Key::Return:
            return Action::ToggleCompressed;
        case Key::Left:
            if (allFile) return Action::Nothing;
            return shifted ? Action::ScreenLeft : Action::CallLeft;
        case Key::Right:
            if (allFile) return Action::Nothing;
            return shifted ? Action::ScreenRight : Action::CallRight;
        case Key::Up:
            return shifted ? Action::PreviousFile : Action::ScaleFiner;
        case Key::Down:
            return shifted ? Action::NextFile : Action::ScaleCoarser;
        case Key::Button1:
            return allFile ? Action::AskExit : Action::ShowAllFile;
        case Key::Button2:
            return Action::ViewingMenu;
        case Key::Button3:
            return Action::FilterStep;
        case Key::Button4:
            return allFile ? Action::LeaveAllFile : Action::StartRecording;
        case Key::Ignored:
            return Action::Nothing;
    }
    return Action::Nothing;
}
