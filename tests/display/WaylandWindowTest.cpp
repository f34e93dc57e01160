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
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/qt/ProgramStart.h"
#include "platform/qt/ZelkoraFrame.h"
#include "tests/display/TouchFolder.h"
#include "tests/tools/WindowSteps.h"

namespace {

namespace fs = std::filesystem;
using testing_support::centre;
using testing_support::waitUntil;

pid_t spawnIn(const std::string& dir, const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (chdir(dir.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(argv[0], argv.data());
    _exit(127);
}

// What the compositor shows, as weston-screenshooter saves it in `dir`.
QImage screenShot(const std::string& dir) {
    int status = 0;
    waitpid(spawnIn(dir, {"weston-screenshooter"}), &status, 0);
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string().rfind("wayland-screenshot", 0) != 0) continue;
        const QImage shot(QString::fromStdString(e.path().string()));
        fs::remove(e.path());
        return shot;
    }
    return {};
}

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
    const pid_t weston = spawnIn(root, {"weston", "--backend=headless-backend.so",
                                        "--socket=wayland-zelkora", "--use-pixman", "--width=1280",
                                        "--height=800", "--debug", "--idle-time=0", "--no-config"});
    const bool up = waitUntil([&] { return fs::exists(root + "/run/wayland-zelkora"); }, 10000);
    setenv("WAYLAND_DISPLAY", "wayland-zelkora", 1);
    setenv("QT_QPA_PLATFORM", "wayland;offscreen", 1);
    int argc = 1;
    char name[] = "test_wayland_window";
    char* argv[] = {name, nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);
    if (up && QGuiApplication::platformName() == "wayland") {
        platform::ProgramWindow program;
        ZelkoraFrame& frame = program.frame;
        ASSERT_TRUE(testing_support::startAsProgram(frame, program.doc));
        ZelkoraView& view = frame.view();
        PlotView& plot = view.plotView();
        plot.EndHint();
        // Clock ticks repaint the status line alone; the plot stays white on the screen.
        QTest::qWait(2500);
        const QImage shot = screenShot(root);
        ASSERT_FALSE(shot.isNull());
        int black = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) black += (shot.pixel(x, y) & 0xFFFFFF) == 0;
        EXPECT_LT(black, view.width() * view.height() / 10) << "the plot shows black";

        const QSize before = frame.size();
        EXPECT_LT(before.width(), 1280);
        QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().fullScreen));
        EXPECT_TRUE(waitUntil([&] { return frame.size() == QSize(1280, 800); }, 10000));
        QTest::mouseClick(&view, Qt::LeftButton, {}, centre(plot.statusFields().fullScreen));
        EXPECT_TRUE(waitUntil([&] { return frame.size() == before; }, 10000))
            << "left full screen at " << frame.width() << "x" << frame.height();
        frame.close();
    }
    const bool skipped = QGuiApplication::platformName() != "wayland";
    app.reset();
    kill(weston, SIGTERM);
    waitpid(weston, nullptr, 0);
    if (!up || skipped) GTEST_SKIP() << "no Wayland compositor or no Qt Wayland plugin";
}

}  // namespace
