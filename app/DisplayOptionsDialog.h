#pragma once
#include <array>
#include <cstdint>

#include "app/ColourChoice.h"

struct AppSettings;

// The display options without their window: big dots, the whole file on opening, and five
// colour buttons. A colour is taken as soon as the chooser confirms it, and its bit set in
// the change mask; the check boxes only on OK. Cancel puts back the colours the dialog
// opened with (the custom colours made in the chooser stay). The view rebuilds its colours
// whenever the mask is not zero, whether the dialog ended with OK or not.
class DisplayOptionsDialog {
  public:
    enum class Button { Background, Dots, Ybars, Scale, Status };
    static constexpr std::array<Button, 5> kButtons{Button::Background, Button::Dots, Button::Ybars,
                                                    Button::Scale, Button::Status};

    explicit DisplayOptionsDialog(AppSettings& settings);

    static const char* ButtonText(Button button);
    // 1 Background, 2 Dots, 4 Ybars, 8 Scale, 16 Status.
    static uint32_t ChangeBit(Button button);

    void Press(Button button, const ColourChooser& chooser);
    void Ok();
    void Cancel();
    uint32_t changeMask() const { return changeMask_; }

    bool bigDots;
    bool allUse;

  private:
    uint32_t& colourOf(Button button);

    AppSettings& settings_;
    std::array<uint32_t, 5> opened_;
    uint32_t changeMask_ = 0;
};
