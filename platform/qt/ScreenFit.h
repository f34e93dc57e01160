#pragma once
#include <QSize>

class QScreen;
class QWidget;

namespace platform::qt {

// Shows `window` over the whole of the screen `near` is on (the primary screen without it).
// A window manager that honours the full-screen state gets it; where none runs, or the one
// that runs only offers a dialog's box, the window is given the screen's geometry and no
// title bar as well.
void showCoveringScreen(QWidget& window, const QWidget* near);

// The room a dialog has on the screen `near` is on (the primary screen without it): the
// screen's available area less a title bar.
QSize roomForDialog(const QWidget* near);

// The height of a control a finger hits on `screen`.
int fingerPixels(const QScreen* screen);

// Every dialog's buttons, fields, check marks, list rows, scroll bars and spin-box arrows as
// big as a finger on `screen`; the button menus and the window itself keep their own sizes.
void makeDialogsFingerSized(const QScreen* screen);

// While an on-screen keyboard covers the field being edited in a dialog, the dialog stands
// above the keyboard (see WindowFit::DialogTopOverKeyboard), and goes back when it hides.
// Once for the application.
void keepDialogsAboveKeyboard();

}  // namespace platform::qt
