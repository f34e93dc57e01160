#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethod>
#include <QLibraryInfo>
#include <QLineEdit>
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
    // Both live as long as the process, as the keyboard's plugin does. Its first start, with
    // the QML of its keyboard to load, took over 5 s beside the other window tests.
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
    auto waitUntil = [](auto done, int ms) {
        for (int waited = 0; waited < ms && !done(); waited += 10) QTest::qWait(10);
        return done();
    };
    whenModal([&](QWidget* dialog) {
        // Where the window manager has it, as the display server last said.
        auto top = [dialog] { return dialog->windowHandle()->frameGeometry().top(); };
        QTest::qWait(1000);  // placed by the window manager
        const int home = top();
        auto* slack = dialog->findChildren<QLineEdit*>().last();
        slack->clear();
        QTest::mouseClick(slack, Qt::LeftButton);
        // Too tall for the room above the keyboard: at the top of the screen, Slack above it.
        EXPECT_TRUE(waitUntil([&] { return im->isVisible() && top() == 0; }, 30000))
            << home << " " << top();
        const QRect keys = im->keyboardRectangle().toRect();
        EXPECT_LE(slack->mapToGlobal(QPoint(0, slack->height())).y(), keys.top());
        // Where the number pad has its 5 (a letter on the full keyboard).
        const QPoint five(keys.x() + keys.width() * 46 / 100, keys.y() + keys.height() * 38 / 100);
        for (QWindow* w : QGuiApplication::topLevelWindows())
            if (w->inherits("QQuickWindow")) QTest::mouseClick(w, Qt::LeftButton, {}, five);
        EXPECT_TRUE(waitUntil([&] { return slack->text() == "5"; }, 5000));
        im->hide();
        EXPECT_TRUE(waitUntil([&] { return top() == home; }, 10000));
        dialog->close();
    });
    AppSettings settings;
    OptionForms::EditRecordingOptions(nullptr, settings);
}
