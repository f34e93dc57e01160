#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "display/FrequencyAxis.h"
#include "platform/qt/QtViewFont.h"
#include "tests/display/SyntheticSequence.h"
#include "tests/support/ToolRunner.h"
#include "tests/support/ZoneGuard.h"

namespace {

QGuiApplication& application() {
    static int argc = 1;
    static char name[] = "RenderCommandTest";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv);
    return *app;
}

class RenderCommand : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::string root;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString();
        // Settings of a first start, never the user's own.
        ASSERT_EQ(setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1), 0);
        std::filesystem::create_directories(root + "/runtime");
        std::filesystem::permissions(root + "/runtime", std::filesystem::perms::owner_all);
        ASSERT_EQ(setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1), 0);
        application();
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = root + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    // `env`: assignments put before the command.
    int run(const std::string& args, const std::string& env = "") {
        const std::string command = env + " '" + ZELKORA_BINARY_DIR +
                                    "/tools/zelkora-tool/zelkora-tool' render " + args + " >'" +
                                    root + "/out.txt' 2>'" + root + "/err.txt'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string errors() {
        std::ifstream in(root + "/err.txt");
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
};

TEST_F(RenderCommand, RefusesBadArgumentsAndFiles) {
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run(""), 64);
    auto dots = synthetic::makeCalls({});
    const std::string good = write("26061222.15#", synthetic::encode(*dots));
    EXPECT_EQ(run("'" + good + "'"), 64);  // no --png
    const std::string png = " --png '" + root + "/x.png'";
    EXPECT_EQ(run("'" + good + "'" + png + " --scale F11"), 64);
    EXPECT_EQ(run("'" + good + "'" + png + " --mode all --scale F3"), 64);
    EXPECT_EQ(run("'" + good + "'" + png + " --fmin 100 --fmax 50"), 64);
    EXPECT_EQ(run("'" + good + "'" + png + " --size 10x10"), 64);
    EXPECT_EQ(run("'" + good + "'" + png + " --lin --log"), 64);
    EXPECT_EQ(run("'" + root + "/missing#'" + png), 2);
    EXPECT_NE(errors().find("Cannot open file"), std::string::npos);
    const std::string bad = write("bad#", std::vector<uint8_t>(300, 0x41));
    EXPECT_EQ(run("'" + bad + "'" + png), 2);
    EXPECT_NE(errors().find("File Corrupt"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root + "/x.png"));
}

// A file whose calls hold one frequency: its dots, grid lines and time-axis ticks must lie
// exactly where the geometry puts them.
TEST_F(RenderCommand, PicturePlacesGridDotsAndAxis) {
    synthetic::CallPlan plan;
    plan.calls = 5;
    plan.startKhz = plan.endKhz = 45.0;  // between grid lines
    plan.gapMicros = 200000;
    auto dots = synthetic::makeCalls(plan);
    const std::string file = write("26061222.15#", synthetic::encode(*dots));
    const std::string png = root + "/p.png";
    // As from a station's timer, without XDG_RUNTIME_DIR: a picture made says nothing (no
    // notice of the variable, nor of the ways a window reaches the screen).
    ASSERT_EQ(unsetenv("XDG_RUNTIME_DIR"), 0);
    ASSERT_EQ(run("'" + file + "' --png '" + png +
                  "' --size 640x400 --mode true --scale F1 --log --fmin 4 --fmax 210 "
                  "--bigdots 0 --filter 0"),
              0)
        << errors();
    EXPECT_EQ(errors(), "");
    const QImage image = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(640, 400));

    const QFontMetrics metrics(platform::qt::viewFont(96));
    const int th = metrics.height(), d3 = metrics.horizontalAdvance("000");
    const int statusTop = 400 - th - 1, axisTop = statusTop - th - 7, plotLeft = d3 + 2;
    const int h = axisTop;
    auto rgb = [&](int x, int y) { return image.pixel(x, y) & 0xFFFFFF; };
    const QRgb black = 0, white = 0xFFFFFF;

    FrequencyAxis axis;
    axis.Configure(4000000, 210000000, true, h, 0, h - 1);
    axis.BuildBars(th);
    ASSERT_GT(axis.bars().size(), 5u);
    for (const auto& bar : axis.bars()) {
        EXPECT_EQ(rgb(639, bar.row), 0xFF8284u) << bar.row;  // 0x8080FF through 5-6-5
        EXPECT_EQ(rgb(plotLeft - 1, bar.row) == 0xFF8284u, false);
    }
    EXPECT_EQ(rgb(639, 0), white);
    // The 10 kHz line is labelled: ink just left of the plot on its row.
    int ink = 0;
    for (int x = 0; x < plotLeft; ++x) ink += rgb(x, axis.RowOfFrequency(10000000)) != white;
    EXPECT_GT(ink, 0);

    // The first call starts the screen: its dots fill column 0 on their row.
    const int32_t first = 2;  // dots 0 and 1 have no frequency; dot 2 ends the first gap
    const int32_t callStart = first + 1;
    const int row = axis.RowOfFrequency(dots->frequency[callStart + 1]);
    ASSERT_GT(row, 0);
    EXPECT_EQ(rgb(plotLeft, row), black);
    EXPECT_EQ(rgb(plotLeft + 1, row), white);
    // The second call, 200 ms later: 8 columns on.
    const int64_t base = dots->times[callStart];
    const int32_t second = callStart + plan.dotsPerCall + 1;
    EXPECT_EQ(rgb(plotLeft + static_cast<int>((dots->times[second + 1] - base) / 25000), row),
              black);

    // Time axis: 1 s labels over a 15 s span, 40 pixels apart: 8-pixel ticks at the labels
    // and 4-pixel ticks every fifth of a second between them.
    const int x1 = plotLeft + static_cast<int>((1000000 - base) / 25000);
    EXPECT_EQ(rgb(x1, axisTop), black);
    EXPECT_EQ(rgb(x1, axisTop + 7), black);
    EXPECT_EQ(rgb(x1 + 1, axisTop + 1), white);
    const int xFifth = plotLeft + static_cast<int>((1200000 - base) / 25000);
    EXPECT_EQ(rgb(xFifth, axisTop + 3), black);
    EXPECT_EQ(rgb(xFifth, axisTop + 4), white);
    const int xHalf = plotLeft + static_cast<int>((1500000 - base) / 25000);
    EXPECT_EQ(rgb(xHalf, axisTop), white);
    // Status line: outlined and grey.
    EXPECT_EQ(rgb(100, statusTop), black);
    EXPECT_EQ(rgb(1, statusTop + 1), 0xC6C3C6u);  // 0xC0C0C0 through 5-6-5

    // The clock field holds the file's start, not the drawing machine's clock: the same file
    // drawn in another zone gives the same picture.
    {
        const testing_support::ZoneGuard zone("Asia/Kolkata");
        ASSERT_EQ(run("'" + file + "' --png '" + root + "/p2.png' --size 640x400 --mode true " +
                      "--scale F1 --log --fmin 4 --fmax 210 --bigdots 0 --filter 0"),
                  0);
    }
    EXPECT_EQ(testing_support::readText(png), testing_support::readText(root + "/p2.png"));
}

// Qt takes the C library's locale from the environment; a German LC_NUMERIC alone (with an
// English LANG, as many set it) must not turn the time axis's "0.002" into "0,002".
TEST_F(RenderCommand, TimeAxisKeepsItsDecimalPointUnderAGermanLocale) {
    const std::string locales = root + "/locales";
    std::filesystem::create_directories(locales);
    if (std::system(("localedef -i de_DE -f UTF-8 '" + locales + "/de_DE.UTF-8' >/dev/null 2>&1")
                        .c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot make de_DE.UTF-8 (Debian's locales package)";
    }
    const std::string file = write("26061222.15#", synthetic::encode(*synthetic::makeCalls({})));
    const std::string args = "'" + file + "' --size 640x400 --mode true --scale F10 --png '";
    ASSERT_EQ(run(args + root + "/c.png'", "LC_ALL=C"), 0) << errors();
    ASSERT_EQ(run(args + root + "/de.png'",
                  "LOCPATH='" + locales + "' LC_ALL= LANG=C.UTF-8 LC_NUMERIC=de_DE.UTF-8"),
              0)
        << errors();
    EXPECT_TRUE(testing_support::readText(root + "/c.png") ==
                testing_support::readText(root + "/de.png"))
        << "the picture differs from the C locale's";
}

}  // namespace
