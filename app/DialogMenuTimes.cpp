#include "app/DialogMenuTimes.h"

#include "app/ButtonMenus.h"

DialogMenuTimes::DialogMenuTimes(Runner runner, int32_t context, bool allFileMode)
    : DialogMenuTemplate(std::move(runner)), context_(context) {
    // The timed resolutions mean nothing for a whole file drawn over itself.
    if (allFileMode) context_ = kFromRecord;
    page_ = context_ == kFromRecord ? kDppPage : kFPage;
}

void DialogMenuTimes::BuildCaptions() {
    if (page_ == kFPage) {
        ShowAll({"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10, DPP"});
    } else {
        ShowAll({"F10", "", "", "DPP1", "DPP2", "", "DPP3", "DPP4", "", "F1-9"});
        if (context_ == kFromRecord) {
            Hide(1);
            Hide(11);
        }
    }
}

DialogMenuTemplate::Press DialogMenuTimes::OnSlot(int32_t slot) {
    if (slot != 11) return DialogMenuTemplate::OnSlot(slot);
    page_ = page_ == kFPage ? kDppPage : kFPage;
    Init();
    return Press::Relayout;
}

int32_t DialogMenuTimes::CommandFor(int32_t page, int32_t slot) {
    using MenuCodes::kTimeCommandBase;
    if (page == kFPage) return (slot >= 1 && slot <= 9) ? kTimeCommandBase + slot : 0;
    switch (slot) {
        case 1:
            return kTimeCommandBase + 10;  // F10
        case 4:
            return kTimeCommandBase + 11;  // Dpp1
        case 5:
            return kTimeCommandBase + 12;
        case 7:
            return kTimeCommandBase + 13;
        case 8:
            return kTimeCommandBase + 14;
        default:
            return 0;
    }
}
