#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/QtPainterCanvas.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/ZelkoraFrame.h"
#include "support/XSession.h"
#include "tests/display/TouchFolder.h"
#include "tests/display/WhenModal.h"
#include "tests/tools/WindowSteps.h"

namespace {

// An 800 x 480 screen, the size of a field board's panel: a virtual X display under
// matchbox-window-manager, the touch boards' window manager, where both are installed, else
// the offscreen platform. The display lives as long as the process.
QApplication& application(const std::string& root) {
    static QApplication* app = nullptr;
    if (app == nullptr) {
        static std::unique_ptr<testing_support::XSession> x;
        if (std::system("command -v Xvfb matchbox-window-manager >/dev/null 2>&1") == 0) {
            x = std::make_unique<testing_support::XSession>(800, 480, "matchbox-window-manager");
        }
        if (x && x->ready()) {
            setenv("QT_QPA_PLATFORM", "xcb", 1);
        } else {
            const std::string config = root + "/screen.json";
            std::ofstream(config) << R"({"screens": [{"name": "panel", "x": 0, "y": 0,
            "width": 800, "height": 480, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
            setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
        }
        static int argc = 1;
        static char name[] = "test_touch_window";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
    }
    return *app;
}

using testing_support::centre;
using testing_support::waitUntil;

// A fresh user's folders under `root`, `files` sequence files in root/Batfiles/ (their
// names are returned) and the window's screen.
std::vector<std::string> freshUser(const std::string& root, int files = 3) {
    testing_support::usePrivateFolders(root);
    std::filesystem::create_directories(root + "/Batfiles/");
    std::vector<std::string> names = writeSequenceFolder(root + "/Batfiles/", files);
    application(root);
    return names;
}

// Where the pictures for the README go, when asked for (scripts/screenshots.sh).
QString pictureFolder() {
    const char* dir = std::getenv("ZELKORA_SCREENSHOTS");
    return dir != nullptr ? QString::fromLocal8Bit(dir) : QString();
}

TEST(TouchWindow, AUserBrowsesByFingerAndLeavesWithTheButtons) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    const std::string folder = root + "/Batfiles/";
    const std::vector<std::string> names = freshUser(root);
    ASSERT_EQ(names.size(), 3u);
    std::ofstream(root + "/config/Chirova/zelkora.ini")
        << "[Zelkora]\nGPath=" << folder << "\nName=" << names[2]
        << "\nViewCompressed=1\nHScaleComp=136\nSeeAllFile=0\nAllUse=0\nGraphicsSystem=0\n";

    // The program's start, as main() makes it.
    platform::ProgramWindow program;
    ZelkoraDoc& doc = program.doc;
    ZelkoraFrame& frame = program.frame;
    ASSERT_TRUE(testing_support::startAsProgram(frame, doc));
    // The first picture carries the hint where to tap.
    if (!pictureFolder().isEmpty()) frame.grab().save(pictureFolder() + "/main-view.png");
    QApplication::processEvents();

    // On the 800 x 480 panel the window takes the screen and fits on it.
    const QRect screen = frame.screen()->availableGeometry();
    EXPECT_EQ(screen.size(), QSize(800, 480));
    EXPECT_TRUE(screen.contains(frame.frameGeometry()));
    ZelkoraView& view = frame.view();
    PlotView& plot = view.plotView();
    ASSERT_TRUE(plot.layoutOk());
    EXPECT_EQ(plot.StatusContent().name, names[2]);
    EXPECT_TRUE(plot.compressed());

    // A tap in the menu area: the Files menu, whose buttons follow the screen when it is
    // turned; "Open" there is shown and inert, "Prev File" (slot 1) acts.
    whenModal([&](QWidget* modal) {
        auto* menu = dynamic_cast<ButtonMenuDialog*>(modal);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->focusWidget(), menu->button(12));  // nothing preset: "Close"
        // The focus marks the current choice on the screen, without a key pressed first.
        ASSERT_TRUE(waitUntil([&] { return menu->button(12)->hasFocus(); }, 5000));
        const int middle = menu->button(12)->height() / 2;
        EXPECT_NE(menu->button(12)->grab().toImage().pixel(2, middle),
                  menu->button(10)->grab().toImage().pixel(2, middle));
        if (!pictureFolder().isEmpty()) menu->grab().save(pictureFolder() + "/files-menu.png");
        EXPECT_EQ(menu->button(12)->geometry(), QRect(534, 362, 262, 116));
        // Every caption at one size, and whole within its button.
        auto oneSizeThatFits = [menu] {
            for (int slot = 1; slot <= 12; ++slot) {
                const QPushButton* b = menu->button(slot);
                EXPECT_EQ(b->font().pixelSize(), menu->button(12)->font().pixelSize()) << slot;
                EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), b->width() - 12);
            }
        };
        oneSizeThatFits();
        EXPECT_TRUE(menu->button(10)->isVisible());
        QTest::mouseClick(menu->button(10), Qt::LeftButton);
        EXPECT_TRUE(menu->isVisible());
        menu->setWindowState(Qt::WindowNoState);
        menu->setGeometry(0, 0, 480, 800);
        QApplication::processEvents();
        EXPECT_EQ(menu->button(12)->geometry(), QRect(322, 602, 156, 196));
        EXPECT_LT(menu->button(12)->font().pixelSize(), 64);
        oneSizeThatFits();
        // By keys: an arrow moves to the button beside on the screen, Return presses it.
        menu->button(12)->setFocus();
        QTest::keyClick(menu->button(12), Qt::Key_Up);
        EXPECT_TRUE(menu->button(9)->hasFocus());
        menu->button(1)->setFocus();
        QTest::keyClick(menu->button(1), Qt::Key_Return);
        EXPECT_FALSE(menu->isVisible());
        if (menu->isVisible()) menu->reject();
    });
    QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.menuArea()));
    EXPECT_EQ(doc.currentIndex(), 1);
    EXPECT_EQ(plot.StatusContent().name, names[1]);

    // A tap on the mode field: from compressed to true time.
    QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().mode));
    EXPECT_FALSE(plot.compressed());
    EXPECT_EQ(plot.StatusContent().modeText, "True");

    // The full-screen marker: the window without its menu bar, and back (what the screen
    // shows of it, under each window manager, is the screen-cover test's).
    QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().fullScreen));
    QApplication::processEvents();
    EXPECT_FALSE(frame.menuBar()->isVisible());
    QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().fullScreen));
    QApplication::processEvents();
    EXPECT_TRUE(frame.menuBar()->isVisible());

    // Button 1 (F1): the whole file.
    QTest::keyClick(&view, Qt::Key_F1);
    EXPECT_TRUE(plot.allFile());

    // Button 1 again: "Exit Zelkora", Yes, and the window closes with the settings saved.
    // The key-repeat guard of the last key ends by its timer, late on a busy machine.
    ASSERT_TRUE(waitUntil([&] { return !plot.keyGuard(); }, 5000));
    QString question;
    whenModal([&](QWidget* modal) {
        auto* box = dynamic_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        question = box->text();
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    QTest::keyClick(&view, Qt::Key_F1);
    EXPECT_EQ(question, "Exit Zelkora");
    EXPECT_TRUE(waitUntil([&] { return !frame.isVisible(); }, 2000));
    QSettings saved(QString::fromStdString(root + "/config/Chirova/zelkora.ini"),
                    QSettings::IniFormat);
    EXPECT_EQ(saved.value("Zelkora/Name").toString().toStdString(), names[1]);
    EXPECT_EQ(saved.value("Zelkora/SeeAllFile").toInt(), 1);
}

// On the two ways the picture reaches the screen that draw themselves: "GraphSpeed" reports
// every figure with its random dots and lines on the screen, and once its result is read the
// plot is the file's again; a start of recording that fails (no module, the search
// cancelled) leaves the file shown as it was.
TEST(TouchWindow, SpeedTestAndAFailedRecordingStartOnTheSelfDrawingWays) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/Batfiles/";
    const std::string name = freshUser(dir.path().toStdString(), 1).at(0);
    for (int graphics : {2, 3}) {
        platform::QtProfileStore store;
        AppSettings settings;
        settings.load(store);
        settings.GPath = folder;
        settings.GraphicsSystem = graphics;
        settings.Name = name;
        settings.SerialPort = 250;  // nothing there
        ZelkoraDoc doc(settings, store);
        ZelkoraFrame frame(settings, doc);
        frame.portStatusHoldMs = 0;
        frame.speedTestBatchMs = 50;
        ASSERT_TRUE(testing_support::startAsProgram(frame, doc));
        frame.view().plotView().EndHint();
        QApplication::processEvents();
        const platform::PixelRect plot = frame.view().plotView().plotRect();
        const QRect plotArea(plot.left, plot.top, plot.width(), plot.height());
        auto plotShown = [&] {
            return frame.view()
                .grab()
                .toImage()
                .convertToFormat(QImage::Format_RGB32)
                .copy(plotArea);
        };
        auto count = [&](QRgb colour) {
            const QImage shown = plotShown();
            int n = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    n += (shown.pixel(x, y) & 0xF8FCF8) == (colour & 0xF8FCF8);
            return n;
        };
        const QRgb dot = qRgb(0, 0, 0);
        const QRgb bar = platform::qt::toQColor(settings.Cybars).rgb();
        const int dotsBefore = count(dot), barsBefore = count(bar);
        const QImage before = plotShown();
        QString results;
        whenModal([&](QWidget* modal) {
            auto* box = dynamic_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            whenModal([&](QWidget* second) {
                auto* shown = dynamic_cast<QMessageBox*>(second);
                ASSERT_NE(shown, nullptr);
                results = shown->text();
                EXPECT_GT(count(dot), dotsBefore + 50) << graphics;
                EXPECT_GT(count(bar), barsBefore + plotArea.width()) << graphics;
                shown->accept();
            });
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        frame.RunSpeedTest();
        QApplication::processEvents();
        // Seven figures, each with its unit (the lines' words are the result text's own).
        EXPECT_EQ(results.count(QRegularExpression("[0-9] (s|ms|us|ns)\\b")), 7)
            << graphics << ": " << results.toStdString();
        EXPECT_TRUE(plotShown() == before) << graphics;

        for (bool monitor : {false, true}) {
            whenModal([](QWidget* search) { search->close(); });
            frame.live().Start(monitor);
            QApplication::processEvents();
            EXPECT_FALSE(doc.recorder().recording());
            EXPECT_EQ(doc.currentFileName(), name);
            EXPECT_EQ(frame.view().plotView().StatusContent().name, name);
        }
    }
}

}  // namespace
