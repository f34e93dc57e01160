#pragma once
#include <QMainWindow>

#include "platform/qt/ZelkoraView.h"

struct AppSettings;
class ZelkoraDoc;
class QAction;
class QMenu;

// The main window: the view and a menu bar with File, Time, Graphics, TimeKeeping and Help,
// enough to use the viewer before the touch menus exist.
class ZelkoraFrame : public QMainWindow {
  public:
    ZelkoraFrame(AppSettings& settings, ZelkoraDoc& doc);

    ZelkoraView& view() { return *view_; }
    // Hands the document's current file to the view.
    void ShowCurrentFile();

  private:
    void buildMenus();
    void openFile();
    void showAbout();
    void updateGraphicsMenu();
    void updateTimeMenu();

    AppSettings& settings_;
    ZelkoraDoc& doc_;
    ZelkoraView* view_;
    QMenu* graphicsMenu_ = nullptr;
    QMenu* timeMenu_ = nullptr;
};
