#pragma once
#include <cstdint>

// What each key of a handheld does to the view: Return, the cursor keys and the four
// application buttons (F1..F4 on a keyboard).
class KeyCommands {
  public:
    enum class Key { Return, Left, Right, Up, Down, Button1, Button2, Button3, Button4, Ignored };

    enum class Action {
        Nothing,
        ToggleCompressed,
        ScreenLeft,
        CallLeft,
        ScreenRight,
        CallRight,
        PreviousFile,
        NextFile,
        ScaleFiner,
        ScaleCoarser,
        AskExit,
        ShowAllFile,
        LeaveAllFile,
        ViewingMenu,
        LiveMenu,
        FilterStep,
        StartRecording,
        StopRecording,
        SaveRecording,
    };

    // `keyShifted` 1: Left/Right step a screen and Up/Down browse the files; otherwise
    // Left/Right step a call and Up/Down change the scale.
    static Action For(Key key, bool live, bool allFile, int32_t keyShifted);
};
