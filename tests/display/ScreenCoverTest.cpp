// The window on the set-ups field users have, each on a virtual X display of its own: a
// touch board with no window manager and one with matchbox-window-manager (800 x 480, and
// turned upright), and
// a desktop under openbox (1280 x 800). What is checked is what the user sees: which
// windows cover the screen (as xwininfo reports them), the pixels of the screen, and the
// size of everything a finger taps. ctest runs each set-up in a process of its own.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "display/WindowFit.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/GpsForms.h"
#include "platform/qt/GpsMapWindow.h"
#include "platform/qt/OptionForms.h"
#include "platform/qt/ProgramStart.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/ZelkoraFrame.h"
#include "support/XSession.h"
#include "tests/display/TouchFolder.h"
#include "tests/tools/WindowSteps.h"

namespace {

using testing_support::centre;
using testing_support::waitUntil;

constexpr int kPatienceMs = 20000;

bool installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Where xwininfo says the window is on the screen, when it is shown.
QRect onScreen(const QWidget* w) {
    const std::string command = "xwininfo -id " + std::to_string(w->winId()) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    int x = 0, y = 0, width = 0, height = 0;
    bool viewable = false;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::sscanf(line, " Absolute upper-left X: %d", &x);
        std::sscanf(line, " Absolute upper-left Y: %d", &y);
        std::sscanf(line, " Width: %d", &width);
        std::sscanf(line, " Height: %d", &height);
        if (std::string(line).find("IsViewable") != std::string::npos) viewable = true;
    }
    pclose(pipe);
    return viewable ? QRect(x, y, width, height) : QRect();
}

// Waits until `w` covers the whole screen; false when it never does.
bool coversScreen(const QWidget* w) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return waitUntil([&] { return onScreen(w) == screen; }, kPatienceMs);
}

QImage screenShot(const char* name) {
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (const char* dir = std::getenv("ZELKORA_SETUP_SHOTS"))
        shot.save(QString("%1/%2.png").arg(dir, name));
    return shot;
}

// Waits until the screen shows what `w` draws, where `w` is (the window manager may map
// and stack it after Qt says it is exposed); false when it never does.
bool showsOnScreen(QWidget* w, const char* name) {
    return waitUntil(
        [&] {
            const QImage own = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QImage shot = screenShot(name);
            const QPoint at = w->mapToGlobal(QPoint(0, 0));
            int same = 0;
            for (int y = 0; y < own.height(); y += 2) {
                for (int x = 0; x < own.width(); x += 2) {
                    same += shot.pixel(at.x() + x, at.y() + y) == own.pixel(x, y);
                }
            }
            return same > own.width() * own.height() / 4 * 9 / 10;
        },
        kPatienceMs);
}

// Every control a finger taps in `dialog` is at least `finger` pixels tall, rows included.
void expectFingerSized(QWidget* dialog, int finger) {
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        const bool tapped = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                            qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                            qobject_cast<QAbstractSlider*>(w);
        if (tapped) {
            EXPECT_GE(w->height(), finger)
                << dialog->windowTitle().toStdString() << ": " << w->metaObject()->className()
                << " " << w->property("text").toString().toStdString();
        }
        if (auto* bar = qobject_cast<QScrollBar*>(w)) {
            EXPECT_GE(bar->orientation() == Qt::Vertical ? bar->width() : bar->height(), finger)
                << dialog->windowTitle().toStdString() << ": a scroll bar";
        }
        if (auto* list = qobject_cast<QListWidget*>(w); list != nullptr && list->count() > 0) {
            EXPECT_GE(list->visualItemRect(list->item(0)).height(), finger)
                << dialog->windowTitle().toStdString();
        }
    }
    // The rows of a drop-down list, opened by a tap as a user opens it.
    for (QComboBox* combo : dialog->findChildren<QComboBox*>()) {
        if (!combo->isVisible() || combo->count() == 0) continue;
        QTest::mouseClick(combo, Qt::LeftButton);
        QAbstractItemView* rows = combo->view();
        EXPECT_TRUE(waitUntil([&] { return rows->isVisible(); }, kPatienceMs));
        EXPECT_GE(rows->visualRect(combo->model()->index(0, 0)).height(), finger)
            << dialog->windowTitle().toStdString() << ": the rows of "
            << combo->objectName().toStdString();
        combo->hidePopup();
    }
}

void runSetUp(const std::string& windowManager, int width, int height) {
    for (const std::string& p : {std::string("Xvfb"), std::string("xwininfo"), windowManager}) {
        if (!p.empty() && !installed(p)) GTEST_SKIP() << p << " is not installed";
    }
    if (QCoreApplication::instance() != nullptr) {
        GTEST_SKIP() << "one set-up per process (ctest runs each by itself)";
    }
    testing_support::XSession x(width, height, windowManager);
    ASSERT_TRUE(x.ready()) << "the X display or its window manager did not start";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string folder = root + "/Batfiles/";
    std::filesystem::create_directories(folder);
    // More files than the list shows at once: it scrolls.
    const std::vector<std::string> names = writeSequenceFolder(folder, 24);
    testing_support::usePrivateFolders(
        root, "[Zelkora]\nGPath=" + folder + "\nName=" + names.back() + "\nGraphicsSystem=0\n");
    int argc = 1;
    char name[] = "test_screen_cover";
    char* argv[] = {name, nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);
    {
        platform::ProgramWindow program;
        ZelkoraFrame& frame = program.frame;
        ASSERT_TRUE(testing_support::startAsProgram(frame, program.doc));
        ZelkoraView& view = frame.view();
        PlotView& plot = view.plotView();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        ASSERT_EQ(screen.size(), QSize(width, height));

        // The start-up hint (the view draws it while it is up) is on the screen.
        EXPECT_TRUE(showsOnScreen(&frame, "start"));
        const QPoint strip = view.mapToGlobal(QPoint(4, 16));  // left of "Using ..."
        EXPECT_EQ(screenShot("start").pixelColor(strip), QColor(Qt::black)) << "no hint";

        // The window takes the keyboard, with or without a window manager, so that the menu
        // bar's keys work from the start: Page Up is the previous file.
        EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &frame; }, kPatienceMs));
        ASSERT_EQ(program.doc.currentFileName(), names.back());
        QTest::keyClick(&view, Qt::Key_PageUp);
        EXPECT_EQ(program.doc.currentFileName(), names[names.size() - 2]);
        EXPECT_FALSE(plot.hintUp()) << "the hint stays after a key";
        QTest::keyClick(&view, Qt::Key_PageDown);
        EXPECT_EQ(program.doc.currentFileName(), names.back());

        // The main window's own full screen, and back within the screen at its size before.
        const QSize before = frame.size();
        QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().fullScreen));
        EXPECT_TRUE(coversScreen(&frame));
        EXPECT_TRUE(showsOnScreen(&frame, "full-screen"));
        QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().fullScreen));
        // Its size first: still full screen, the window is within the screen too.
        EXPECT_TRUE(waitUntil([&] { return frame.size() == before; }, kPatienceMs))
            << "left full screen at " << frame.width() << "x" << frame.height();
        EXPECT_TRUE(waitUntil(
            [&] {
                const QRect r = onScreen(&frame);
                return frame.menuBar()->isVisible() && r.isValid() && screen.contains(r);
            },
            kPatienceMs))
            << "after full screen: menu bar shown " << frame.menuBar()->isVisible()
            << ", on the screen at " << onScreen(&frame).x() << "," << onScreen(&frame).y() << " "
            << onScreen(&frame).width() << "x" << onScreen(&frame).height();
        // On the desktop, maximised by the user, full screen on and off: maximised again, and
        // restored from that to the size before.
        if (windowManager == "openbox") {
            frame.showMaximized();
            ASSERT_TRUE(waitUntil([&] { return frame.width() > before.width(); }, kPatienceMs));
            for (int i = 0; i < 2; ++i) {
                QTest::mouseClick(&view, Qt::LeftButton, {},
                                  centre(plot.statusFields().fullScreen));
                EXPECT_TRUE(
                    waitUntil([&] { return frame.isFullScreen() != (i == 1); }, kPatienceMs));
            }
            EXPECT_TRUE(waitUntil([&] { return frame.isMaximized(); }, kPatienceMs));
            frame.showNormal();
            EXPECT_TRUE(waitUntil([&] { return frame.size() == before; }, kPatienceMs))
                << "restored at " << frame.width() << "x" << frame.height();
        }

        // Every window the view opens: controls a finger can hit, all of it on the screen
        // and shown there (after `more`, which may wait for it to cover the screen).
        const int finger = WindowFit::FingerPixels(
            width, height, QGuiApplication::primaryScreen()->logicalDotsPerInch());
        auto check = [&](const char* shot, std::function<void()> open,
                         std::function<void(QWidget*)> more = {}) {
            whenModal([&, shot, more](QWidget* modal) {
                EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
                if (more) more(modal);
                expectFingerSized(modal, finger);
                EXPECT_TRUE(showsOnScreen(modal, shot));
                EXPECT_TRUE(screen.contains(onScreen(modal))) << shot << " runs off the screen";
                // Narrower than its contents, a window manager's fit cuts them off.
                EXPECT_GE(modal->width(), modal->minimumSizeHint().width()) << shot;
                if (auto* menu = dynamic_cast<ButtonMenuDialog*>(modal))
                    QTest::mouseClick(menu->button(12), Qt::LeftButton);  // "Close"
                else
                    modal->close();
            });
            open();
        };
        // A button menu and the GPS map cover the screen; the map area takes most of it.
        check(
            "menu", [&] { QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.menuArea())); },
            [](QWidget* menu) {
                EXPECT_NE(dynamic_cast<ButtonMenuDialog*>(menu), nullptr);
                EXPECT_TRUE(coversScreen(menu));
            });
        check(
            "map",
            [&] {
                QTest::mouseClick(&view, Qt::LeftButton, {}, {plot.plotRect().left + 20, 60});
            },
            [&](QWidget* modal) {
                auto* map = dynamic_cast<GpsMapWindow*>(modal);
                ASSERT_NE(map, nullptr);
                EXPECT_TRUE(coversScreen(map));
                EXPECT_GT(map->mapArea()->height(), height / 2);
            });
        int32_t low = 10, high = 120;
        check("frequency", [&] { frame.EditFrequencyRange(low, high); });
        check("recording", [&] { frame.RecordingOptions(); });
        check("display", [&] { frame.DisplayOptions(); });
        check("about", [&] { frame.ShowAbout(); });
        std::array<uint32_t, 16> custom{};
        check("colour", [&] { OptionForms::ChooseColour(&frame, 0x00FF00, custom); });
        check("map-colours", [&] { GpsForms::EditMapColours(&frame, program.settings); });
        check("gps-settings", [&] { frame.gps().Perform(100); });
        check("exit", [&] { frame.AskYesNo("Exit Zelkora"); });
        check("ports", [&] { frame.SearchPorts(program.doc.recorder().modulePort()); });
        check("serial-test", [&] { frame.input().dispatcher().Perform(113); });
        // The file list: below "Cancel" down to the bottom edge.
        check(
            "files", [&] { frame.OpenFile(); },
            [](QWidget* modal) {
                auto* list = modal->findChild<QListWidget*>();
                ASSERT_NE(list, nullptr);
                QPushButton* cancel = nullptr;
                for (auto* b : modal->findChildren<QPushButton*>())
                    if (b->text() == "Cancel") cancel = b;
                ASSERT_NE(cancel, nullptr);
                EXPECT_GE(list->geometry().top(), cancel->geometry().bottom());
                EXPECT_GE(list->geometry().bottom(), modal->height() - 8);
                EXPECT_TRUE(list->verticalScrollBar()->isVisible());
            });
        frame.close();
    }
    app.reset();
}

TEST(ScreenCover, TouchBoardWithoutWindowManager) {
    runSetUp("", 800, 480);
}

TEST(ScreenCover, TouchBoardUnderMatchbox) {
    runSetUp("matchbox-window-manager", 800, 480);
}

TEST(ScreenCover, TouchBoardTurnedUprightUnderMatchbox) {
    runSetUp("matchbox-window-manager", 480, 800);
}

TEST(ScreenCover, DesktopUnderOpenbox) {
    runSetUp("openbox", 1280, 800);
}

}  // namespace
