#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/AppSettings.h"
#include "platform/qt/QtProfileStore.h"
#include "platform/qt/ZelkoraView.h"
#include "sequence/SequenceFormat.h"
#include "tests/display/SyntheticSequence.h"

namespace {

// A desktop monitor and, right of it, a laptop's panel of two device pixels a pixel.
QApplication& application() {
    static QApplication* app = nullptr;
    if (app != nullptr) return *app;
    QTemporaryDir dir;
    const std::string config = dir.path().toStdString() + "/screens.json";
    std::ofstream(config) << R"({"screens": [
        {"name": "monitor", "x": 0, "y": 0, "width": 1920, "height": 1080, "dpr": 1},
        {"name": "laptop", "x": 1920, "y": 0, "width": 1280, "height": 800, "dpr": 2}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
    static int argc = 1;
    static char name[] = "test_display_window";
    static char* argv[] = {name, nullptr};
    app = new QApplication(argc, argv);
    return *app;
}

// The window and `zelkora-tool render` draw the same file at the same size through the same
// view code: their pictures must agree pixel for pixel, the running clock aside.
// A back-end choice (GraphicsSystem) and a view mode.
struct Case {
    int graphicsSystem;
    const char* mode;  // true, comp, all
};

class WindowAgainstRender : public ::testing::TestWithParam<Case> {
  protected:
    QTemporaryDir dir;
    std::string file;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const std::string root = dir.path().toStdString();
        ASSERT_EQ(setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1), 0);
        std::filesystem::create_directories(root + "/config/Chirova");
        std::filesystem::create_directories(root + "/runtime");
        std::filesystem::permissions(root + "/runtime", std::filesystem::perms::owner_all);
        ASSERT_EQ(setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1), 0);
        std::ofstream ini(root + "/config/Chirova/zelkora.ini");
        ini << "[Zelkora]\nGraphicsSystem=" << GetParam().graphicsSystem << "\nZ=1\nAllZ=1\n";
        ini.close();
        synthetic::CallPlan plan;
        plan.calls = 40;
        plan.noiseDots = 4;
        plan.gapMicros = 30000;
        const auto dots = synthetic::makeCalls(plan);
        const auto image = synthetic::encode(*dots);
        file = root + "/26061222.15#";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        application();
    }
};

TEST_P(WindowAgainstRender, SamePicture) {
    const std::string png = dir.path().toStdString() + "/render.png";
    const std::string command =
        std::string("'") + ZELKORA_BINARY_DIR + "/tools/zelkora-tool/zelkora-tool' render '" +
        file + "' --png '" + png + "' --size 640x400 --mode " + GetParam().mode +
        (std::string(GetParam().mode) == "all" ? " --scale D2" : " --scale F5");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    QImage rendered(QString::fromStdString(png));
    ASSERT_FALSE(rendered.isNull());
    rendered = rendered.convertToFormat(QImage::Format_RGB16);

    // The window, from the same settings and the same mode options.
    platform::QtProfileStore store;
    AppSettings settings;
    settings.load(store);
    // QSettings may still hold the file of the previous case from the same second.
    const std::string mode = GetParam().mode;
    settings.GraphicsSystem = GetParam().graphicsSystem;
    settings.Z = settings.AllZ = 1;
    settings.AllUse = 0;
    settings.SeeAllFile = mode == "all" ? 1 : 0;
    settings.ViewCompressed = mode == "comp" ? 1 : 0;
    settings.HScaleComp = settings.HScaleTrue = 133;
    settings.HScaleAll = 2;
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    auto dots = std::make_unique<DotStore>();
    ASSERT_GT(decodeSequenceImage(bytes, *dots), 0);
    computeDotFrequencies(*dots);

    ZelkoraView view(settings);
    view.setFixedSize(640, 400);
    ASSERT_EQ(view.StartGraphics(), 0);
    EXPECT_EQ(static_cast<int>(view.surface().GetBackEnd()),
              GetParam().graphicsSystem == 3 ? 3 : 1);
    view.ShowDocument(dots.get(), "26061222.15#");
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.InitialUpdate();
    QApplication::processEvents();
    ASSERT_TRUE(view.plotView().layoutOk());
    // The hint stays until the user acts; without it the window shows what is rendered.
    EXPECT_TRUE(view.plotView().hintUp());
    view.plotView().EndHint();
    QApplication::processEvents();
    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB16);
    ASSERT_EQ(shown.size(), rendered.size());

    const platform::PixelRect clock = view.plotView().statusFields().clock;
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (clock.contains(x, y)) continue;
            differing += shown.pixel(x, y) != rendered.pixel(x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    if (differing != 0 && std::getenv("ZELKORA_KEEP_PICTURES") != nullptr) {
        shown.save(
            QString("/tmp/window-%1-%2.png").arg(GetParam().graphicsSystem).arg(GetParam().mode));
        rendered.save(
            QString("/tmp/render-%1-%2.png").arg(GetParam().graphicsSystem).arg(GetParam().mode));
    }
    // Something was drawn: dots in the plot and text in the status line.
    const QRgb dot = qRgb(0, 0, 0);
    int dark = 0;
    for (int x = view.plotView().plotRect().left; x < 640; ++x) {
        for (int y = 0; y < view.plotView().plotRect().bottom; ++y)
            dark += shown.pixel(x, y) == dot;
    }
    EXPECT_GT(dark, 100);
}

// Made as narrow as it goes, the window keeps the status line's fields apart, and a corrupt
// file's name field still reads "File Corrupt " and the name whole.
TEST(ViewWindow, NarrowestViewKeepsTheStatusFieldsApart) {
    application();
    AppSettings settings;
    ZelkoraView view(settings);
    ASSERT_EQ(view.StartGraphics(), 0);
    view.ShowDocument(nullptr, "Z6122215.03", "File Corrupt ");
    view.resize(1, 1);  // taken up to the minimum
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.InitialUpdate();
    QApplication::processEvents();
    EXPECT_EQ(view.width(), view.minimumWidth());
    ASSERT_TRUE(view.plotView().layoutOk());
    const StatusLine::Fields& f = view.plotView().statusFields();
    EXPECT_LE(f.filter.right, f.fullScreen.left);
    EXPECT_LE(f.fullScreen.right, f.clock.left);
    EXPECT_LE(f.liveText.right, f.clock.left);
    EXPECT_LE(f.name.right, f.scale.left);
    const QImage shown = view.grab().toImage();
    int inkRight = 0;
    for (int x = f.name.left; x < f.name.right; ++x) {
        for (int y = f.name.top; y < f.name.bottom; ++y)
            if (qGray(shown.pixel(x, y)) < 100) inkRight = x;
    }
    // Past where the last character of "File Corrupt Z6122215.03" begins.
    EXPECT_GT(inkRight - f.name.left,
              QFontMetrics(view.viewFont()).horizontalAdvance("File Corrupt Z6122215.0"));
}

// Dragged from the laptop's panel to the monitor and back, the window draws in the device
// pixels of the screen it is on: the frame buffer's surface wrote the monitor's smaller
// image at the panel's row length, past its end.
TEST(ViewWindow, DraggedBetweenScreensOfTwoPixelRatios) {
    application();
    AppSettings settings;
    settings.GraphicsSystem = 0;
    ZelkoraView view(settings);
    ASSERT_EQ(view.StartGraphics(), 0);
    view.resize(600, 400);
    view.move(2000, 100);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.InitialUpdate();
    view.plotView().EndHint();
    for (int x : {100, 2000, 100}) {
        view.move(x, 100);
        view.plotView().ClockTick(1, 2, x % 60);
        QTest::qWait(50);
    }
    // The offscreen screens grab the monitor's windows pixel for pixel only.
    EXPECT_EQ(
        view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32),
        view.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

INSTANTIATE_TEST_SUITE_P(BackEndsAndModes, WindowAgainstRender,
                         ::testing::Values(Case{0, "comp"}, Case{3, "comp"}, Case{0, "true"},
                                           Case{3, "all"}));

}  // namespace
