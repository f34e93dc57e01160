#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QInputMethod>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <filesystem>

#include "app/AppSettings.h"
#include "platform/qt/OptionForms.h"
#include "platform/qt/ScreenFit.h"
#include "support/XSession.h"
#include "tests/display/WhenModal.h"

// Qt's own on-screen keyboard over a dialog on a 1024 x 600 panel under the touch boards'
// window manager: it shows its digits, a tap on it types into the modal dialog, and the
// dialog stands above it while it is up.
TEST(TouchDialog, OnScreenKeyboardTypesDigitsIntoADialogStandingAboveIt) {
    // The plugin, and one of the QML modules Debian's plugin leaves out (scripts/setup.sh).
    for (const QString& path :
         {QLibraryInfo::path(QLibraryInfo::PluginsPath) +
              "/platforminputcontexts/libqtvirtualkeyboardplugin.so",
          QLibraryInfo::path(QLibraryInfo::QmlImportsPath) + "/QtQuick/Controls"})
        if (!std::filesystem::exists(path.toStdString()))
            GTEST_SKIP() << "Qt's virtual keyboard is not installed: no " << path.toStdString();
    if (std::system("command -v Xvfb matchbox-window-manager >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs Xvfb and matchbox-window-manager";
    // Both live as long as the process, as the keyboard's plugin does.
    static testing_support::XSession x(1024, 600, "matchbox-window-manager");
    ASSERT_TRUE(x.ready());
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_IM_MODULE", "qtvirtualkeyboard", 1);
    static int argc = 1;
    static char name[] = "test_onscreen_keyboard";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    platform::qt::makeDialogsFingerSized(QGuiApplication::primaryScreen());
    platform::qt::keepDialogsAboveKeyboard();
    QInputMethod* im = QGuiApplication::inputMethod();
    QString typed;
    int home = 0, raisedTop = -1, fieldBottom = 0, back = 0;
    QRect keys;
    whenModal([&](QWidget* dialog) {
        // Where the window manager has it, as the display server last said.
        auto top = [dialog] { return dialog->windowHandle()->frameGeometry().top(); };
        QTest::qWait(300);
        home = top();
        auto* slack = dialog->findChildren<QLineEdit*>().last();
        slack->clear();
        QTest::mouseClick(slack, Qt::LeftButton);
        auto up = [&] { return im->isVisible() && top() != home; };
        for (int waited = 0; waited < 5000 && !up(); waited += 20) QTest::qWait(20);
        raisedTop = top();
        fieldBottom = slack->mapToGlobal(QPoint(0, slack->height())).y();
        keys = im->keyboardRectangle().toRect();
        // Where the number pad has its 5 (a letter on the full keyboard).
        const QPoint five(keys.x() + keys.width() * 46 / 100, keys.y() + keys.height() * 38 / 100);
        for (QWindow* w : QGuiApplication::topLevelWindows())
            if (w->inherits("QQuickWindow")) QTest::mouseClick(w, Qt::LeftButton, {}, five);
        QTest::qWait(500);
        typed = slack->text();
        im->hide();
        for (int waited = 0; waited < 5000 && top() != home; waited += 20) QTest::qWait(20);
        back = top();
        static_cast<QDialog*>(dialog)->reject();
    });
    AppSettings settings;
    OptionForms::EditRecordingOptions(nullptr, settings);
    EXPECT_EQ(typed, "5");
    // Too tall for the room above the keyboard: at the top of the screen, Slack above it.
    EXPECT_GT(home, 0);
    EXPECT_EQ(raisedTop, 0);
    EXPECT_GT(keys.height(), 0);
    EXPECT_LE(fieldBottom, keys.top());
    EXPECT_EQ(back, home);
}
