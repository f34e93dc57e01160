#include "platform/qt/ButtonMenuDialog.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>

#include "platform/qt/ScreenFit.h"

namespace {

// The control identifiers of slots 1..12 in the dialog template the menus share.
constexpr int kControlIds[] = {0,    1078, 1077, 1075, 1084, 1086, 1076,
                               1085, 1083, 1079, 1080, 1081, 1087};

platform::PixelRect toPixelRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The largest caption size, up to a third of the cell's height, that fits the button.
int captionPixelSize(const QFont& base, const QString& caption, const QSize& button) {
    QFont font(base);
    int size = std::max(10, std::min(button.height() / 3, 64));
    for (; size > 10; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(caption) <= button.width() - 12) break;
    }
    return size;
}

}  // namespace

ButtonMenuDialog::ButtonMenuDialog(DialogMenuTemplate& menu, QWidget* parent)
    : QDialog(parent), menu_(menu) {
    setWindowTitle("Zelkora");
    // The button with the focus is the menu's current choice (the map's scale, say): marked
    // so that a finger sees it, where the style draws a focus frame only after a key.
    setStyleSheet("QPushButton:focus { border: 4px solid #0060ff; border-radius: 4px; }");
    // In a group the arrow keys move the focus to the neighbouring button on the screen, up,
    // down, left or right, where alone they followed the order the buttons were made in.
    auto* grid = new QButtonGroup(this);
    grid->setExclusive(false);
    for (int slot = 1; slot <= DialogMenuTemplate::kSlots; ++slot) {
        auto* b = new QPushButton(this);
        b->setProperty("controlId", kControlIds[slot]);
        b->setAutoDefault(false);
        grid->addButton(b);
        connect(b, &QPushButton::clicked, this, [this, slot] { pressed(slot); });
        buttons_[static_cast<size_t>(slot)] = b;
    }
    menu_.Init();
    // The whole screen the parent is on.
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 800, 480);
    platform::qt::showCoveringScreen(*this, parent);
    menu_.NoteScreen(toPixelRect(area));
    layOut();
    button(menu_.FocusSlot())->setFocus();
}

void ButtonMenuDialog::Run(DialogMenuTemplate& menu, QWidget* parent) {
    ButtonMenuDialog dialog(menu, parent);
    dialog.exec();
}

void ButtonMenuDialog::layOut() {
    // One size for every caption of the menu, the largest at which the longest fits: sized
    // button by button, a turned screen's narrow cells showed "Next" three times as large
    // as "Open File" beside it.
    int size = 64;
    for (int slot = 1; slot <= DialogMenuTemplate::kSlots; ++slot) {
        const MenuButtonSpec& slotButton = menu_.slotButton(slot);
        QPushButton* b = button(slot);
        const auto r = DialogMenuTemplate::SlotRect(slot, slotButton, width(), height());
        const QString caption = QString::fromStdString(slotButton.caption);
        b->setText(caption);
        b->setGeometry(r.left, r.top, r.width(), r.height());
        if (slotButton.visible)
            size = std::min(size, captionPixelSize(b->font(), caption, b->size()));
    }
    for (int slot = 1; slot <= DialogMenuTemplate::kSlots; ++slot) {
        QPushButton* b = button(slot);
        QFont font = b->font();
        font.setPixelSize(size);
        b->setFont(font);
        b->setVisible(menu_.slotButton(slot).visible);
    }
}

void ButtonMenuDialog::pressed(int slot) {
    switch (menu_.Pressed(slot)) {
        case DialogMenuTemplate::Press::Stay:
            break;
        case DialogMenuTemplate::Press::Relayout:
            layOut();
            break;
        case DialogMenuTemplate::Press::Close:
            accept();
            break;
    }
}

void ButtonMenuDialog::keyPressEvent(QKeyEvent* event) {
    // Return presses the button with the focus, as Space does: no button is the dialog's
    // default, so the dialog alone did nothing with it.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (auto* b = qobject_cast<QPushButton*>(focusWidget());
        enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && b != nullptr &&
        b->isVisible()) {
        b->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ButtonMenuDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // A turned screen lays the buttons out anew; the same rectangle again moves nothing.
    if (menu_.NoteScreen(toPixelRect(geometry()))) layOut();
}
