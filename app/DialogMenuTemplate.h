#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/PixelRect.h"

// One button of a full-screen menu: its place in the three-by-four grid is its slot; a
// button spanning several cells covers the following slots, which are hidden.
struct MenuButtonSpec {
    int32_t rows = 1;
    std::string caption;
    bool visible = false;
    int32_t cols = 1;
};

// The family of full-screen button menus without their window: twelve slots (three columns,
// four rows), the captions a menu gives them, what a press does, and the one result the
// caller reads after the menu closed. Slot 10 "Open" carries no action; slot 12 "Close"
// closes without touching the result. A menu that opens a sub-menu folds the sub-menu's
// result into its own, so the caller receives one code for a whole chain of menus.
class DialogMenuTemplate {
  public:
    using Rect = platform::PixelRect;
    // Runs `menu` modally until one of its buttons closes it: the window system's dialog,
    // which calls Init, lays the buttons out and passes every button press to Pressed.
    using Runner = std::function<void(DialogMenuTemplate& menu)>;

    enum class Press { Stay, Relayout, Close };

    static constexpr int32_t kSlots = 12;
    static constexpr int32_t kOpenSlot = 10;
    static constexpr int32_t kCloseSlot = 12;

    explicit DialogMenuTemplate(Runner runner) : runner_(std::move(runner)) {}
    virtual ~DialogMenuTemplate() = default;
    DialogMenuTemplate(const DialogMenuTemplate&) = delete;
    DialogMenuTemplate& operator=(const DialogMenuTemplate&) = delete;

    // Runs the menu (and whatever sub-menus its buttons open) and returns its result.
    int32_t Run();

    // A preset result marks the current choice: its slot gets the focus.
    void SetResult(int32_t result) { result_ = result; }
    int32_t result() const { return result_; }

    // The dialog's initialisation: the captions of every slot.
    void Init();
    const MenuButtonSpec& slotButton(int32_t slot) const {
        return specs_.at(static_cast<size_t>(slot));
    }
    // The slot whose button takes the focus after the first layout.
    int32_t FocusSlot() const;
    // A button was pressed.
    Press Pressed(int32_t slot);

    // The rectangle the buttons were last laid out in: true (and remembered) when `screen`
    // differs from it, so a size notification that changed nothing moves no button.
    bool NoteScreen(const Rect& screen);
    // Where slot `slot` sits in a client area of the given size.
    static Rect SlotRect(int32_t slot, const MenuButtonSpec& slotButton, int32_t clientWidth,
                         int32_t clientHeight);

  protected:
    // Fills slots 1..9 and 11; slot 10 "Open" and 12 "Close" are already set.
    virtual void BuildCaptions() = 0;
    // Slots 1..9 and 11 set the result to the slot and close; a menu that opens a sub-menu
    // or a dialog from a slot overrides this for that slot.
    virtual Press OnSlot(int32_t slot);

    void Show(int32_t slot, const char* caption, int32_t rows = 1, int32_t cols = 1);
    // Shows the captions given for slots 1..9 and 11 in order; an empty one hides its slot.
    void ShowAll(std::initializer_list<const char*> captions);
    void Hide(int32_t slot);
    // Runs a sub-menu with this menu's runner and returns its result.
    int32_t RunChild(DialogMenuTemplate& child);
    const Runner& runner() const { return runner_; }

    int32_t result_ = 0;

  private:
    Runner runner_;
    std::array<MenuButtonSpec, kSlots + 1> specs_{};
    Rect screen_{};
};
