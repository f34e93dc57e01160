#include "display/ViewMenus.h"

#include "display/TimeScale.h"

bool ViewMenus::GraphicsChecked(int32_t item, int32_t graphicsSystem, GraphicsBackEnd inUse) {
    switch (item) {
        case 0:
            return graphicsSystem == 0;
        case 1:
            return inUse == GraphicsBackEnd::DirectDraw;
        case 2:
            return inUse == GraphicsBackEnd::Gapi;
        case 3:
            return inUse == GraphicsBackEnd::DeviceContext;
        default:
            return false;
    }
}

ViewMenus::ItemState ViewMenus::TimeItem(int32_t command, bool live, bool allFile, bool compressed,
                                         int32_t timeScale) {
    ItemState s;
    if (command == 0) {
        s.enabled = !live && !allFile;
        s.checked = compressed;
    } else if (TimeScale::IsTimed(command)) {
        s.enabled = !live && !allFile;
        s.checked = timeScale == command;
    } else {
        s.enabled = live || allFile || compressed;
        s.checked = timeScale == command;
    }
    return s;
}
