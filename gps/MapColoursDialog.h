#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/ColourChoice.h"

struct AppSettings;

// The map colours dialog without its window: a "Use BigDots" check box and four buttons that
// each pick one of the map's colours. A colour is taken as soon as the chooser confirms it;
// the check box only on OK, as a dialog's check box is.
class MapColoursDialog {
  public:
    enum class Button { Map, Track, Recent, Current };
    static constexpr const char* kCheckBoxText = "Use BigDots";

    using ColourChooser = ::ColourChooser;

    explicit MapColoursDialog(AppSettings& settings);

    static const char* ButtonText(Button button);

    bool useBigDots() const { return useBigDots_; }
    void setUseBigDots(bool on) { useBigDots_ = on; }

    // The button was pressed: runs the chooser on that button's colour.
    void Press(Button button, const ColourChooser& chooser);
    // OK: the check box goes into the settings.
    void Ok();

  private:
    uint32_t& colourOf(Button button);

    AppSettings& settings_;
    bool useBigDots_;
};
