// The serial test in the window against the module simulator on a pseudo-terminal, worked
// by taps alone: opened through Files -> Main Menu -> Tools -> "Serial Test"; a start
// without a module and one that cannot make its capture file both going back to idle; then
// a run through two overflows into silence, and what the dialog counted and stored
// compared with what the simulator sent.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ChildProcess.h"
#include "SimulatorLog.h"
#include "WindowSteps.h"
#include "acquisition/SerialTestStats.h"
#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/MemoryProfileStore.h"
#include "platform/qt/PortSearchDialog.h"
#include "platform/qt/QtUiHandlers.h"
#include "platform/qt/SerialTestDialog.h"
#include "platform/qt/ZelkoraFrame.h"
#include "tests/acquisition/PtyPeer.h"

using acquisition::SerialTest;
using testing_support::centre;
using testing_support::pressInMenu;
using testing_support::showFrame;
using testing_support::waitUntil;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
constexpr int32_t kSim = 305;

std::string text(const SerialTestDialog& d, const char* label) {
    return d.field(label)->text().toStdString();
}

void expectIdle(const SerialTestDialog& d) {
    EXPECT_EQ(d.runButton()->text(), "Run");
    EXPECT_TRUE(d.runButton()->isEnabled());
    EXPECT_EQ(text(d, "Recording?"), "No");
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void screenshot(QWidget* w, const char* name) {
    if (const char* pictures = std::getenv("ZELKORA_SCREENSHOTS"))
        w->grab().save(QString::fromLocal8Bit(pictures) + "/" + name);
}

TEST(SerialTestWindow, OverflowsDrainedAndEveryByteStored) {
    static int argc = 1;
    static char name[] = "test_serial_test_window";
    static char* argv[] = {name, nullptr};
    testing_support::PrivateRuntimeDir runtime;
    QApplication app(argc, argv);
    platform::installQtUiHandlers();

    const std::filesystem::path root = runtime.path();
    const std::filesystem::path folder = root / "Batfiles";
    std::filesystem::create_directories(folder);
    // Overflows after 1 and 2 s of streaming, nothing at all after 2.5 s.
    testing_support::ChildProcess simulator(
        {kTool, "simulate-module", "--port", std::to_string(kSim), "--mix", "passes",
         "--calls-per-second", "10", "--overflow-every", "1", "--silent-after", "2.5", "--log",
         (root / "sim.log").string(), "--capture", (root / "sim.bytes").string()},
        (root / "sim.err").string());
    std::string first;
    ASSERT_TRUE(simulator.readLine(first, 5000));
    ASSERT_EQ(first.rfind("COM" + std::to_string(kSim) + ":", 0), 0u) << first;

    AppSettings settings;
    settings.GPath = folder.string() + "/";
    settings.FullScreen = 0;
    settings.GraphicsSystem = 0;
    platform::MemoryProfileStore store;
    ZelkoraDoc doc(settings, store);
    const std::filesystem::path stored = folder / "serialtest.txt";
    std::string transitions;
    bool seen = false;
    const auto act = [&](QWidget* modal) {
        auto* d = dynamic_cast<SerialTestDialog*>(modal);
        ASSERT_NE(d, nullptr);
        seen = true;
        // Readable on the smallest touch panel in use.
        EXPECT_LE(d->width(), 800);
        EXPECT_LE(d->height(), 440);
        screenshot(d, "serial-test-idle.png");
        expectIdle(*d);
        EXPECT_FALSE(d->storeBox()->isChecked());

        // No port chosen: the port search comes up; closed without a module, no run.
        whenModal([](QWidget* search) {
            auto* p = dynamic_cast<PortSearchDialog*>(search);
            ASSERT_NE(p, nullptr);
            QTest::mouseClick(p->button("Close"), Qt::LeftButton);
        });
        QTest::mouseClick(d->runButton(), Qt::LeftButton);
        expectIdle(*d);

        // The capture's name is taken by a folder: no run, and ready for another go.
        settings.SerialPort = kSim;
        std::filesystem::create_directories(stored);
        QTest::mouseClick(d->storeBox(), Qt::LeftButton, {}, QPoint(10, 10));
        ASSERT_TRUE(d->storeBox()->isChecked());
        std::string warning;
        whenModal([&warning](QWidget* box) {
            auto* message = dynamic_cast<QMessageBox*>(box);
            ASSERT_NE(message, nullptr);
            warning = message->text().toStdString();
            QTest::mouseClick(message->button(QMessageBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(d->runButton(), Qt::LeftButton);
        EXPECT_EQ(warning, "Cannot open output file");
        expectIdle(*d);
        std::filesystem::remove(stored);

        QTest::mouseClick(d->runButton(), Qt::LeftButton);
        EXPECT_EQ(d->runButton()->text(), "Stop");
        EXPECT_EQ(text(*d, "Recording?"), "Yes");
        EXPECT_EQ(text(*d, "Port"), std::to_string(kSim));
        EXPECT_FALSE(d->storeBox()->isEnabled());
        ASSERT_TRUE(waitUntil([&] { return d->test().stats().overflows() == 2; }, 8000));
        // The module falls silent: the worker waits in the port's poll, not in a loop.
        ASSERT_TRUE(waitUntil([&] { return text(*d, "Overflows") == "2"; }, 3000));
        // Once the second overflow is drained the module streams half a second more (its
        // third start in the log) and then falls silent; a busy machine may take a while over
        // both, so the count is taken only once it has stood still for a second.
        const auto starts = [&] {
            std::ifstream in(root / "sim.log");
            int n = 0;
            for (std::string line; std::getline(in, line);) n += line.starts_with("S ");
            return n;
        };
        ASSERT_TRUE(waitUntil([&] { return starts() >= 3; }, 8000));
        std::string last;
        for (int still = 0, waited = 0; still < 5 && waited < 10000; waited += 200) {
            QTest::qWait(200);
            const std::string now = text(*d, "No of transitions");
            still = now == last ? still + 1 : 0;
            last = now;
        }
        const double before = processCpuSeconds();
        QTest::qWait(1000);
        EXPECT_LT(processCpuSeconds() - before, 0.2) << "the worker spins on a quiet line";
        screenshot(d, "serial-test-running.png");

        QTest::mouseClick(d->runButton(), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return d->runButton()->text() == "Run"; }, 3000));
        EXPECT_EQ(text(*d, "Recording?"), "No");
        EXPECT_EQ(text(*d, "Overflows"), "2");
        EXPECT_EQ(text(*d, "Bad transitions"), "0");
        EXPECT_EQ(text(*d, "Bad time"), "0h  0m  0s 000 000");
        // The module stood still while the overflow drained: its clock lags by that.
        EXPECT_EQ(text(*d, "O'flow time").rfind("-0h  0m  0s ", 0), 0u) << text(*d, "O'flow time");
        transitions = text(*d, "No of transitions");
        QTest::mouseClick(d->closeButton(), Qt::LeftButton);
    };
    {
        ZelkoraFrame frame(settings, doc);
        ASSERT_TRUE(showFrame(frame, doc));
        // Files -> Main Menu -> Tools -> "Serial Test".
        pressInMenu(11, [&] { pressInMenu(7, [&] { pressInMenu(1, [&] { whenModal(act); }); }); });
        QTest::mouseClick(&frame.view(), Qt::LeftButton, {},
                          centre(frame.view().plotView().menuArea()));
        EXPECT_TRUE(seen);
    }
    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.wait(5000), 0);
    platform::removeQtUiHandlers();

    // Every interval that went out but the last, which no later value completed.
    const auto log = testing_support::readLog(root / "sim.log");
    ASSERT_GT(log.size(), 100u);
    EXPECT_EQ(transitions,
              acquisition::SerialTestStats::WithThousands(static_cast<int64_t>(log.size()) - 1));
    // Each overflow was drained before the stream went on: two quiet reads at least.
    std::ifstream events(root / "sim.log");
    std::vector<int64_t> overflowAt;
    int restarts = 0;
    for (std::string line; std::getline(events, line);) {
        if (line.size() < 2 || (line[0] != 'O' && line[0] != 'S')) continue;
        const int64_t at = std::stoll(line.substr(2));
        if (line[0] == 'O') overflowAt.push_back(at);
        if (line[0] == 'S' && !overflowAt.empty() && restarts < 2) {
            EXPECT_GE(at - overflowAt.back(), 2 * SerialTest::kIdleWaitMs * 1000);
            ++restarts;
        }
    }
    EXPECT_EQ(overflowAt.size(), 2u);
    EXPECT_EQ(restarts, 2);
    // Two version replies (the start that failed, the run), then the stream as it went: the
    // failed start never set the module going.
    const std::vector<uint8_t> sent = readBytes(root / "sim.bytes");
    ASSERT_GT(sent.size(), 14u);
    EXPECT_EQ(sent[0], 'V');
    EXPECT_EQ(sent[7], 'V');
    EXPECT_EQ(readBytes(stored), std::vector<uint8_t>(sent.begin() + 14, sent.end()));
}

}  // namespace
