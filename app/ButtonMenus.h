#pragma once
#include <cstdint>
#include <functional>

#include "app/DialogMenuTemplate.h"

// The codes the viewing menu returns for a whole chain of menus: a sub-menu opened from the
// main menu's slot s adds 16 * s to the slot pressed in it.
namespace MenuCodes {
inline constexpr int32_t kFileBase = 16;     // main-menu slot 1 "File"
inline constexpr int32_t kOptionsBase = 48;  // slot 3 "Options"
inline constexpr int32_t kRecordBase = 64;   // slot 4 "Record"
inline constexpr int32_t kGpsBase = 96;      // slot 6 "GPS"
inline constexpr int32_t kToolsBase = 112;   // slot 7 "Tools"
// The Time menu's items: + 1..10 "F1".."F10", + 11..14 "Dpp1".."Dpp4".
inline constexpr int32_t kTimeCommandBase = 32900;
inline constexpr int32_t kFirstTimeCommand = 32901;
inline constexpr int32_t kLastTimeCommand = 32914;
}  // namespace MenuCodes

// Shown on a tap while viewing: browsing, stepping, the view modes, the time resolution
// (slot 2) and the main menu (slot 11, whose code it returns unchanged).
class DialogMenuFiles : public DialogMenuTemplate {
  public:
    // `gpsConnected`: the GPS menu's first button reads "Disconnect".
    DialogMenuFiles(Runner runner, bool allFileMode, bool gpsConnected = false)
        : DialogMenuTemplate(std::move(runner)),
          allFileMode_(allFileMode),
          gpsConnected_(gpsConnected) {}

  protected:
    void BuildCaptions() override;
    Press OnSlot(int32_t slot) override;

  private:
    bool allFileMode_;
    bool gpsConnected_;
};

// The main menu: each button opens a sub-menu and adds its base to the sub-menu's result.
class DialogMenuMain : public DialogMenuTemplate {
  public:
    explicit DialogMenuMain(Runner runner, bool gpsConnected = false)
        : DialogMenuTemplate(std::move(runner)), gpsConnected_(gpsConnected) {}

  protected:
    void BuildCaptions() override;
    Press OnSlot(int32_t slot) override;

  private:
    bool gpsConnected_;
};

class DialogMenuFileMenu : public DialogMenuTemplate {
  public:
    using DialogMenuTemplate::DialogMenuTemplate;

  protected:
    void BuildCaptions() override;
};

class DialogMenuOptsMenu : public DialogMenuTemplate {
  public:
    using DialogMenuTemplate::DialogMenuTemplate;

  protected:
    void BuildCaptions() override;
};

class DialogMenuRecMenu : public DialogMenuTemplate {
  public:
    using DialogMenuTemplate::DialogMenuTemplate;

  protected:
    void BuildCaptions() override;
};

// Slot 1 is "Connect", or "Disconnect" while the GPS is connected (the same code 97).
class DialogMenuGPSMenu : public DialogMenuTemplate {
  public:
    explicit DialogMenuGPSMenu(Runner runner, bool connected = false)
        : DialogMenuTemplate(std::move(runner)), connected_(connected) {}

  protected:
    void BuildCaptions() override;

  private:
    bool connected_;
};

class DialogMenuToolsMenu : public DialogMenuTemplate {
  public:
    using DialogMenuTemplate::DialogMenuTemplate;

  protected:
    void BuildCaptions() override;
};

// Shown on a tap while recording. "Freq Res" edits the display's frequency range in place
// and closes with 1 only when that dialog was confirmed.
class DialogMenuRecord : public DialogMenuTemplate {
  public:
    // The frequency-range dialog on whole kilohertz; true on OK.
    using FrequencyDialog = std::function<bool(int32_t& lowKHz, int32_t& highKHz)>;

    // `fMin` and `fMax` are the display range in millihertz (the settings).
    DialogMenuRecord(Runner runner, FrequencyDialog dialog, int32_t& fMin, int32_t& fMax)
        : DialogMenuTemplate(std::move(runner)),
          dialog_(std::move(dialog)),
          fMin_(fMin),
          fMax_(fMax) {}

  protected:
    void BuildCaptions() override;
    Press OnSlot(int32_t slot) override;

  private:
    FrequencyDialog dialog_;
    int32_t& fMin_;
    int32_t& fMax_;
};

// The map's menu: the map resolution (its result is 100 + the resolution menu's result) and
// the map colours.
class DialogMenuGPSMap : public DialogMenuTemplate {
  public:
    DialogMenuGPSMap(Runner runner, int32_t mapScale, std::function<void()> coloursDialog)
        : DialogMenuTemplate(std::move(runner)),
          mapScale_(mapScale),
          coloursDialog_(std::move(coloursDialog)) {}

  protected:
    void BuildCaptions() override;
    Press OnSlot(int32_t slot) override;

  private:
    int32_t mapScale_;
    std::function<void()> coloursDialog_;
};

// The map resolutions, opened with the current one focused, so "Close" keeps it.
class DialogMenuGPSRes : public DialogMenuTemplate {
  public:
    DialogMenuGPSRes(Runner runner, int32_t mapScale) : DialogMenuTemplate(std::move(runner)) {
        SetResult(PresetSlot(mapScale));
    }
    // 0 "All" (slot 11), 1000 "100m" (slot 1) ... 500000 "50km" (slot 9), others slot 12.
    static int32_t PresetSlot(int32_t mapScale);

  protected:
    void BuildCaptions() override;
};
