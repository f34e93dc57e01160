#pragma once
#include <QDialog>
#include <array>

#include "app/DialogMenuTemplate.h"

class QPushButton;

// A button menu on the screen: twelve push buttons in a three-by-four grid filling the
// screen the parent window is on, captions sized to be read at arm's length. Every press goes
// to the menu, which says whether the dialog stays, relays out or closes.
class ButtonMenuDialog : public QDialog {
  public:
    ButtonMenuDialog(DialogMenuTemplate& menu, QWidget* parent);

    // The button of slot 1..12.
    QPushButton* button(int slot) const { return buttons_.at(static_cast<size_t>(slot)); }
    // Runs `menu` over `parent` until it closes.
    static void Run(DialogMenuTemplate& menu, QWidget* parent);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void layOut();
    void pressed(int slot);

    DialogMenuTemplate& menu_;
    std::array<QPushButton*, DialogMenuTemplate::kSlots + 1> buttons_{};
};
