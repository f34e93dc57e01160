#pragma once
// Steps of the window tests that a user takes the same way every time: the window coming
// up on the document's folder, taps on its regions and on the full-screen button menus.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "app/ZelkoraDoc.h"
#include "platform/PixelRect.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/ProgramStart.h"
#include "platform/qt/ZelkoraFrame.h"
#include "tests/display/WhenModal.h"
#include "tests/support/PrivateFolders.h"

namespace testing_support {

// Brings `frame` up at 800x480 showing the document's current file, as the program starts;
// false when the drawing could not start or the window never came up.
inline bool showFrame(ZelkoraFrame& frame, ZelkoraDoc& doc) {
    if (frame.view().StartGraphics() != 0) return false;
    doc.CheckFolder();
    doc.ScanFolder();
    frame.ShowCurrentFile();
    frame.resize(800, 480);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame)) return false;
    frame.view().InitialUpdate();
    return true;
}

// Brings `frame` up as the program starts: the Name setting's file of the folder shown, the
// window placed on its screen; false when the file or the window did not come up.
inline bool startAsProgram(ZelkoraFrame& frame, ZelkoraDoc& doc) {
    return platform::showAtStart(frame, doc) && doc.fileLoaded() &&
           QTest::qWaitForWindowExposed(&frame);
}

// Lets the window's events run until `pred` holds or `ms` have passed; whether it holds.
template <typename Pred>
bool waitUntil(Pred pred, int ms) {
    for (int waited = 0; waited < ms && !pred(); waited += 5) QTest::qWait(5);
    return pred();
}

inline QPoint centre(const platform::PixelRect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Presses `slot` of the button menu that comes up next; `then` is set up first, for the menu
// that the press opens in turn.
inline void pressInMenu(int slot, std::function<void()> then = {}) {
    whenModal([slot, then](QWidget* modal) {
        auto* menu = dynamic_cast<ButtonMenuDialog*>(modal);
        ASSERT_NE(menu, nullptr);
        if (then) then();
        QTest::mouseClick(menu->button(slot), Qt::LeftButton);
    });
}

}  // namespace testing_support
