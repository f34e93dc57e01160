#include "app/DialogMenuTemplate.h"

int32_t DialogMenuTemplate::Run() {
    if (runner_) runner_(*this);
    return result_;
}

void DialogMenuTemplate::Init() {
    for (int32_t slot = 1; slot <= kSlots; ++slot) Hide(slot);
    Show(kOpenSlot, "Open");
    Show(kCloseSlot, "Close");
    BuildCaptions();
}

int32_t DialogMenuTemplate::FocusSlot() const {
    return (result_ >= 1 && result_ <= 11) ? result_ : kCloseSlot;
}

DialogMenuTemplate::Press DialogMenuTemplate::Pressed(int32_t slot) {
    if (slot < 1 || slot > kSlots || !slotButton(slot).visible) return Press::Stay;
    if (slot == kOpenSlot) return Press::Stay;
    if (slot == kCloseSlot) return Press::Close;
    return OnSlot(slot);
}

DialogMenuTemplate::Press DialogMenuTemplate::OnSlot(int32_t slot) {
    result_ = slot;
    return Press::Close;
}

bool DialogMenuTemplate::NoteScreen(const Rect& screen) {
    if (screen == screen_) return false;
    screen_ = screen;
    return true;
}

DialogMenuTemplate::Rect DialogMenuTemplate::SlotRect(int32_t slot,
                                                      const MenuButtonSpec& slotButton,
                                                      int32_t clientWidth, int32_t clientHeight) {
    const int32_t cellWidth = clientWidth / 3;
    const int32_t cellHeight = clientHeight / 4;
    const int32_t x = cellWidth * ((slot - 1) % 3) + 2;
    const int32_t y = cellHeight * ((slot - 1) / 3) + 2;
    return {x, y, x + slotButton.cols * cellWidth - 4, y + slotButton.rows * cellHeight - 4};
}

void DialogMenuTemplate::Show(int32_t slot, const char* caption, int32_t rows, int32_t cols) {
    specs_.at(static_cast<size_t>(slot)) = {rows, caption, true, cols};
}

void DialogMenuTemplate::ShowAll(std::initializer_list<const char*> captions) {
    int32_t slot = 1;
    for (const char* caption : captions) {
        if (*caption == '\0') {
            Hide(slot);
        } else {
            Show(slot, caption);
        }
        slot = slot == 9 ? 11 : slot + 1;
    }
}

void DialogMenuTemplate::Hide(int32_t slot) {
    specs_.at(static_cast<size_t>(slot)) = {1, "", false, 1};
}

int32_t DialogMenuTemplate::RunChild(DialogMenuTemplate& child) {
    return child.Run();
}
