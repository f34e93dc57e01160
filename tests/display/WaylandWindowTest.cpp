// The window on a Wayland desktop (GNOME's default): a compositor of its own, weston without
// a screen, which draws the windows into memory and hands out a picture of them. Skipped
// where weston or Qt's Wayland plugin is not installed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>

#include "platform/qt/ProgramStart.h"
#include "platform/qt/ZelkoraFrame.h"
#include "tests/display/TouchFolder.h"
#include "tests/support/SpawnQuietly.h"
#include "tests/tools/WindowSteps.h"

namespace {

namespace fs = std::filesystem;
using testing_support::centre;
using testing_support::waitUntil;

// weston, ended with the object.
struct Weston {
    pid_t pid = testing_support::spawnQuietly(
        {"weston", "--backend=headless-backend.so", "--socket=wayland-zelkora", "--use-pixman",
         "--width=1280", "--height=800", "--debug", "--no-config"});
    ~Weston() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

TEST(WaylandWindow, DrawnWholeOnEveryPaintAndBackToItsSizeAfterFullScreen) {
    if (std::system("command -v weston weston-screenshooter >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "weston is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    const std::string folder = root + "/Batfiles/";
    fs::create_directories(folder);
    const std::vector<std::string> names = writeSequenceFolder(folder, 2);
    // The painter's way: the one drawn straight into the window.
    testing_support::usePrivateFolders(
        root, "[Zelkora]\nGPath=" + folder + "\nName=" + names.back() + "\nGraphicsSystem=3\n");
    Weston weston;
    if (!waitUntil([&] { return fs::exists(root + "/run/wayland-zelkora"); }, 10000))
        GTEST_SKIP() << "weston did not start";
    setenv("WAYLAND_DISPLAY", "wayland-zelkora", 1);
    setenv("QT_QPA_PLATFORM", "wayland;offscreen", 1);
    int argc = 1;
    char name[] = "test_wayland_window";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != "wayland") GTEST_SKIP() << "no Qt Wayland plugin";
    platform::ProgramWindow program;
    ZelkoraFrame& frame = program.frame;
    ASSERT_TRUE(testing_support::startAsProgram(frame, program.doc));
    ZelkoraView& view = frame.view();
    PlotView& plot = view.plotView();
    plot.EndHint();
    // Clock ticks repaint the status line alone; the plot stays white on the screen.
    QTest::qWait(2500);
    const std::string take = "cd " + root + " && weston-screenshooter >/dev/null 2>&1";
    ASSERT_EQ(std::system((take + " && mv wayland-screenshot-*.png screen.png").c_str()), 0);
    const QImage screen(QString::fromStdString(root + "/screen.png"));
    int black = 0;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x) black += (screen.pixel(x, y) & 0xFFFFFF) == 0;
    EXPECT_LT(black, view.width() * view.height() / 10) << "the plot shows black";

    const QSize before = frame.size();
    EXPECT_LT(before.width(), 1280);
    for (const QSize& size : {QSize(1280, 800), before}) {
        QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().fullScreen));
        EXPECT_TRUE(waitUntil([&] { return frame.size() == size; }, 10000))
            << "full screen switched to " << frame.width() << "x" << frame.height();
    }
}

}  // namespace
