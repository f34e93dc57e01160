// A recording made in the window by taps and keys alone, from the module simulator on a
// pseudo-terminal: the Record menu reached through the Files and Main menus, dots drawn live,
// a save by a tap on the name field, a stop by the first application button (F1), and the
// file saved shown afterwards and compared with what the simulator sent. Before that, a
// Record-mode run by the menu bar that is stopped without a save.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ChildProcess.h"
#include "SimulatorLog.h"
#include "WindowSteps.h"
#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/ZelkoraFrame.h"
#include "tests/display/TouchFolder.h"

using testing_support::centre;
using testing_support::ChildProcess;
using testing_support::pressInMenu;
using testing_support::waitUntil;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";

// The menu bar items that can be seen.
QStringList visibleMenuBar(QMainWindow& frame) {
    QStringList items;
    for (QAction* a : frame.menuBar()->actions()) {
        if (a->isVisible()) items << a->text();
    }
    return items;
}

// Clicks the menu bar item `title` and, when `item` is given, that item of its menu.
void clickMenuBar(QMainWindow& frame, const QString& title, const QString& item = {}) {
    QMenuBar* bar = frame.menuBar();
    for (QAction* a : bar->actions()) {
        if (a->text() != title) continue;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(a).center());
        if (item.isEmpty()) return;
        QMenu* menu = a->menu();
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        for (QAction* entry : menu->actions()) {
            if (entry->text() == item) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
                return;
            }
        }
        FAIL() << "no item " << item.toStdString();
    }
    FAIL() << "no menu " << title.toStdString();
}

// Pixels of text colour in the status line's name field as the window shows it.
int nameInk(ZelkoraView& view) {
    const platform::PixelRect r = view.plotView().statusFields().name;
    const QImage shown = view.grab().toImage();
    int ink = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) ink += shown.pixelColor(x, y) == Qt::black;
    }
    return ink;
}

TEST(LiveRecordingWindow, RecordSaveAndStopByTapsAndKeys) {
    char pattern[] = "/tmp/zelkora-live-window-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path root = pattern;
    testing_support::usePrivateFolders(root);
    const std::filesystem::path folder = root / "Batfiles";
    std::filesystem::create_directories(folder);

    ChildProcess simulator({kTool, "simulate-module", "--log", (root / "sim.log").string(), "--mix",
                            "passes", "--calls-per-second", "10", "--seed", "5"},
                           (root / "sim.err").string());
    std::string first;
    ASSERT_TRUE(simulator.readLine(first, 5000));
    ASSERT_EQ(first.rfind("COM", 0), 0u) << first;
    const int port = std::atoi(first.c_str() + 3);

    std::ofstream(root / "config" / "Chirova" / "zelkora.ini")
        << "[Zelkora]\nGPath=" << folder.string() << "/\nSerialPort=" << port
        << "\nGraphicsSystem=0\nHScaleRecord=1\n";

    static int argc = 1;
    static char name[] = "test_live_window";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    platform::QtProfileStore store;
    AppSettings settings;
    platform::loadStartSettings(settings, store);
    ZelkoraDoc doc(settings, store);
    {
        ZelkoraFrame frame(settings, doc);
        ASSERT_TRUE(testing_support::showFrame(frame, doc));
        ZelkoraView& view = frame.view();
        PlotView& plot = view.plotView();
        const QStringList normalBar = visibleMenuBar(frame);

        // A file from another folder on the screen; Rec -> Record by the menu bar, then STOP
        // there before anything was saved.
        const std::filesystem::path elsewhere = root / "elsewhere";
        std::filesystem::create_directories(elsewhere);
        const std::string viewed = writeSequenceFolder(elsewhere.string(), 1).at(0);
        doc.OpenPath((elsewhere / viewed).string());
        QApplication::processEvents();
        ASSERT_EQ(plot.StatusContent().name, viewed);
        ASSERT_GT(nameInk(view), 0);
        clickMenuBar(frame, "&Rec", "&Record");
        ASSERT_TRUE(plot.live());
        // No file of this recording yet: the name of the one shown before is not drawn there.
        EXPECT_EQ(nameInk(view), 0);
        clickMenuBar(frame, "STOP");
        EXPECT_FALSE(doc.recorder().recording());
        EXPECT_EQ(visibleMenuBar(frame), normalBar);
        // The sequence folder holds nothing: the file shown before is back, under its name.
        EXPECT_TRUE(std::filesystem::is_empty(folder));
        EXPECT_EQ(doc.currentFileName(), viewed);
        EXPECT_EQ(plot.StatusContent().name, viewed);

        // Files -> Main Menu -> Record -> "Record".
        pressInMenu(11, [] { pressInMenu(4, [] { pressInMenu(1); }); });
        QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.menuArea()));
        ASSERT_TRUE(plot.live());
        EXPECT_TRUE(doc.recorder().recording());
        EXPECT_FALSE(doc.recorder().monitorMode());
        EXPECT_EQ(visibleMenuBar(frame), QStringList{"STOP"});
        EXPECT_EQ(plot.StatusContent().liveText, "Recording");

        // Dots arrive and are drawn in the live column's wake.
        ASSERT_TRUE(waitUntil([&] { return plot.liveDotCount() > 200; }, 5000));
        QTest::qWait(100);
        const QImage picture = view.grab().toImage();
        int drawn = 0;
        for (int32_t x = 0; x < plot.lastColumn(); ++x) {
            const int32_t row = plot.liveRow(0, x);
            if (row >= 0 && picture.pixelColor(plot.plotRect().left + x,
                                               plot.plotRect().top + row) == Qt::black) {
                ++drawn;
            }
        }
        EXPECT_GT(drawn, 50);
        // The README's picture of a recording (scripts/screenshots.sh), a few passes in.
        if (const char* pictures = std::getenv("ZELKORA_SCREENSHOTS")) {
            QTest::qWait(3000);
            frame.grab().save(QString::fromLocal8Bit(pictures) + "/live-view.png");
        }

        // A tap on the name field saves; its name shows there.
        QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().name));
        ASSERT_TRUE(waitUntil([&] { return !plot.StatusContent().name.empty(); }, 3000));
        const std::string saved = plot.StatusContent().name;
        EXPECT_EQ(saved, doc.lastSavedName());

        // F1 stops; the window shows the file saved, and the menu bar is back.
        QTest::keyClick(&view, Qt::Key_F1);
        EXPECT_FALSE(plot.live());
        EXPECT_FALSE(doc.recorder().recording());
        EXPECT_EQ(visibleMenuBar(frame), normalBar);
        EXPECT_EQ(doc.currentFileName(), saved);
        EXPECT_EQ(plot.StatusContent().name, saved);
        EXPECT_EQ(doc.recorder().dotQueue().count(), 0);
        // The README's picture of a recorded file, in compressed time at F7 (250 us a pixel
        // column), where the calls of a few seconds' recording fill the screen.
        if (const char* pictures = std::getenv("ZELKORA_SCREENSHOTS")) {
            if (!plot.compressed()) plot.ShowCompressed();
            plot.SetTimeScale(135);
            QApplication::processEvents();
            frame.grab().save(QString::fromLocal8Bit(pictures) + "/viewer.png");
        }
    }
    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.wait(5000), 0);

    const auto log = testing_support::readLog(root / "sim.log");
    const testing_support::SavedFile file =
        testing_support::readSaved(folder, doc.currentFileName());
    ASSERT_GT(file.intervals.size(), 100u);
    EXPECT_GE(testing_support::findRun(log, file.intervals), 0)
        << "the file is not an unbroken stretch of what the simulator sent";
    std::filesystem::remove_all(root);
}

}  // namespace
