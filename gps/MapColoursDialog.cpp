#include "gps/MapColoursDialog.h"

#include "app/AppSettings.h"

MapColoursDialog::MapColoursDialog(AppSettings& settings)
    : settings_(settings), useBigDots_(settings.MapBigDots != 0) {}

const char* MapColoursDialog::ButtonText(Button button) {
    switch (button) {
        case Button::Map:
            return "Map";
        case Button::Track:
            return "Track";
        case Button::Recent:
            return "Recent";
        case Button::Current:
            return "Current";
    }
    return "";
}

uint32_t& MapColoursDialog::colourOf(Button button) {
    switch (button) {
        case Button::Track:
            return settings_.MapCtrack;
        case Button::Recent:
            return settings_.MapCrecent;
        case Button::Current:
            return settings_.MapCcurrent;
        case Button::Map:
            break;
    }
    return settings_.MapCmap;
}

void MapColoursDialog::Press(Button button, const ColourChooser& chooser) {
    ChooseColourInto(colourOf(button), settings_.CustomColor, chooser);
}

void MapColoursDialog::Ok() {
    settings_.MapBigDots = useBigDots_ ? 1 : 0;
}
