#pragma once
#include <cstdint>

#include "app/DialogMenuTemplate.h"

// The time resolutions: the F page ("F1".."F9", slot 11 leads to the other page) and the
// DPP page ("F10", "DPP1".."DPP4", slot 11 leads back). Opened from the recording menu, or
// in the all-file mode, only the dots-per-column resolutions are offered.
class DialogMenuTimes : public DialogMenuTemplate {
  public:
    static constexpr int32_t kFromFiles = 1;
    static constexpr int32_t kFromRecord = 2;
    static constexpr int32_t kFPage = 0;
    static constexpr int32_t kDppPage = 1;

    DialogMenuTimes(Runner runner, int32_t context, bool allFileMode);

    int32_t context() const { return context_; }
    int32_t page() const { return page_; }
    // The Time menu command of the slot that closed the menu (32901..32914), 0 for none.
    int32_t Command() const { return CommandFor(page_, result()); }
    static int32_t CommandFor(int32_t page, int32_t slot);

  protected:
    void BuildCaptions() override;
    Press OnSlot(int32_t slot) override;

  private:
    int32_t context_;
    int32_t page_;
};
