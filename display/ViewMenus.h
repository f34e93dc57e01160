#pragma once
#include <cstdint>

#include "display/GraphicsSurface.h"

// What the framework menus of the view show: the check marks of the "Graphics" menu and the
// enabled and checked state of the Time menu's items.
class ViewMenus {
  public:
    struct ItemState {
        bool enabled = true;
        bool checked = false;
    };

    // Item 0 "Best", 1 "DirectDraw", 2 "GAPI", 3 "DC only": "Best" is checked when it is the
    // setting, the others when theirs is the back-end in use.
    static bool GraphicsChecked(int32_t item, int32_t graphicsSystem, GraphicsBackEnd inUse);
    // `command` is 0 for "Comp", 129..138 for "F1".."F10", 1..4 for "Dpp1".."Dpp4".
    static ItemState TimeItem(int32_t command, bool live, bool allFile, bool compressed,
                              int32_t timeScale);
};
