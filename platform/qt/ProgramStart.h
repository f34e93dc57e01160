#pragma once
// The window's start as the program makes it: main() and the tests that start the window as
// a user does share it, so that what they test is what runs.
#include <QStringList>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/ZelkoraFrame.h"

namespace platform {

// The stored settings, with the choices every start of the program makes.
void loadStartSettings(AppSettings& settings, QtProfileStore& store);

// Puts the window on its screen showing the first file: the first of `files`, else the Name
// setting's, else the newest that holds something. The folder's full sweep waits until the
// window has painted once. False when drawing could not start.
bool showAtStart(ZelkoraFrame& frame, ZelkoraDoc& doc, const QStringList& files = {});

// The program's settings (loaded as every start loads them), its document and its window.
struct ProgramWindow {
    ProgramWindow();

    QtProfileStore store;
    AppSettings& settings;
    ZelkoraDoc doc;
    ZelkoraFrame frame;
};

}  // namespace platform
