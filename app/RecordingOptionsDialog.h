#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct AppSettings;

// The recording options without their window: the dots per column while recording, the
// division ratio with its quick picks, saving on the calibration tone, and the "AutoSave"
// group (the call detector's run length, the longest time between calls in whole seconds,
// its slack). A radio button, the check box and a quick pick each read every field back
// first, as the form shows them.
class RecordingOptionsDialog {
  public:
    static constexpr std::array<int32_t, 5> kDivRatioPicks{5, 8, 10, 16, 32};
    static constexpr int32_t kLineLengthMin = 2, kLineLengthMax = 50;
    static constexpr int32_t kMaxTbcMin = 0, kMaxTbcMax = 15;

    enum class Field { DivRatio, LineLength, MaxTbc, Slack };
    struct Refusal {
        Field field;
        std::string message;
    };
    // What the form's edit fields hold.
    struct Texts {
        std::string divRatio, lineLength, maxTbc, slack;
    };

    explicit RecordingOptionsDialog(const AppSettings& settings);

    // Reads the edit fields into the members; the first refusal stops it.
    std::optional<Refusal> ReadFields(const Texts& texts);
    // The texts the edit fields show for the members.
    Texts Show() const;
    // A Div Ratio quick pick: the fields read back, then the ratio set.
    std::optional<Refusal> PickDivRatio(int32_t ratio, const Texts& texts);
    // OK: the fields read back and, when they pass, every member into the settings.
    std::optional<Refusal> Ok(const Texts& texts, AppSettings& settings);

    int32_t resolutionIndex;  // 0..3: one to four dots per column
    int32_t divRatio;
    bool saveOnCal;
    int32_t lineLength;
    int32_t maxTbcSeconds;
    int32_t slack;
};
