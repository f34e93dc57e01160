#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// The platform's colour chooser: any colour, starting from `initial` (0x00BBGGRR), with the
// sixteen custom colours it may change. nullopt when the user cancels.
using ColourChooser =
    std::function<std::optional<uint32_t>(uint32_t initial, std::array<uint32_t, 16>& custom)>;

// Runs the chooser on `colour`; the custom colours are the settings' own, so they persist
// with them. True when a colour was taken.
inline bool ChooseColourInto(uint32_t& colour, std::array<uint32_t, 16>& custom,
                             const ColourChooser& chooser) {
    if (!chooser) return false;
    const std::optional<uint32_t> chosen = chooser(colour, custom);
    if (!chosen) return false;
    colour = *chosen & 0x00FFFFFFu;
    return true;
}
