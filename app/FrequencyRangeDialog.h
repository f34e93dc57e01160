#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The frequency range of the display without its window: two fields in whole kilohertz and
// quick picks for each. A quick pick sets its member and the form then shows both members
// again, so a value typed but not confirmed in the other field is replaced.
class FrequencyRangeDialog {
  public:
    static constexpr int32_t kLowMin = 4, kLowMax = 100;
    static constexpr int32_t kHighMin = 10, kHighMax = 250;
    static constexpr std::array<int32_t, 5> kLowPicks{4, 8, 12, 16, 20};
    static constexpr std::array<int32_t, 5> kHighPicks{60, 80, 120, 160, 220};
    static constexpr const char* kOrderMessage = "Fmax must be above Fmin.";

    enum class Field { Low, High };
    struct Refusal {
        Field field;
        std::string message;
    };

    FrequencyRangeDialog(int32_t lowKHz, int32_t highKHz) : low(lowKHz), high(highKHz) {}

    // OK with the texts of the two fields: both members when every check passes, else the
    // first refusal (the members then keep what they were).
    std::optional<Refusal> Ok(const std::string& lowText, const std::string& highText);

    int32_t low;
    int32_t high;
};
