#include "app/DisplayOptionsDialog.h"

#include "app/AppSettings.h"

DisplayOptionsDialog::DisplayOptionsDialog(AppSettings& settings)
    : bigDots(settings.BigDots != 0), allUse(settings.AllUse != 0), settings_(settings) {
    for (size_t i = 0; i < kButtons.size(); ++i) opened_[i] = colourOf(kButtons[i]);
}

const char* DisplayOptionsDialog::ButtonText(Button button) {
    switch (button) {
        case Button::Background:
            return "Background";
        case Button::Dots:
            return "Dots";
        case Button::Ybars:
            return "Ybars";
        case Button::Scale:
            return "Scale";
        case Button::Status:
            return "Status";
    }
    return "";
}

uint32_t DisplayOptionsDialog::ChangeBit(Button button) {
    return 1u << static_cast<uint32_t>(button);
}

uint32_t& DisplayOptionsDialog::colourOf(Button button) {
    switch (button) {
        case Button::Dots:
            return settings_.Cdots;
        case Button::Ybars:
            return settings_.Cybars;
        case Button::Scale:
            return settings_.Cscale;
        case Button::Status:
            return settings_.Cstatusback;
        case Button::Background:
            break;
    }
    return settings_.Cback;
}

void DisplayOptionsDialog::Press(Button button, const ColourChooser& chooser) {
    if (ChooseColourInto(colourOf(button), settings_.CustomColor, chooser)) {
        changeMask_ |= ChangeBit(button);
    }
}

void DisplayOptionsDialog::Ok() {
    // Any non-zero value means big dots; an existing one is kept.
    if (!bigDots) {
        settings_.BigDots = 0;
    } else if (settings_.BigDots == 0) {
        settings_.BigDots = 16;
    }
    settings_.AllUse = allUse ? 1 : 0;
}

void DisplayOptionsDialog::Cancel() {
    for (size_t i = 0; i < kButtons.size(); ++i) colourOf(kButtons[i]) = opened_[i];
}
