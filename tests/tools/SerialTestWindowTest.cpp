// The serial test in the window against the module simulator on a pseudo-terminal, worked
// by taps alone: opened through Files -> Main Menu -> Tools -> "Serial Test"; a start
// without a module and one that cannot make its capture file both going back to idle; then
// a run with an overflow put in by the simulator, and what the dialog counted and stored
// compared with what was sent.
#include <gtest/gtest.h>

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
#include "acquisition/SerialTestStats.h"
#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/MemoryProfileStore.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/PortSearchDialog.h"
#include "platform/qt/QtUiHandlers.h"
#include "platform/qt/SerialTestDialog.h"
#include "platform/qt/ZelkoraFrame.h"
#include "tests/acquisition/PtyPeer.h"
#include "tests/display/WhenModal.h"

using testing_support::ChildProcess;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
constexpr int32_t kSim = 305;

template <typename Pred>
bool waitUntil(Pred pred, int ms) {
    for (int waited = 0; waited < ms && !pred(); waited += 10) QTest::qWait(10);
    return pred();
}

void pressInMenu(int slot, std::function<void()> then = {}) {
    whenModal([slot, then](QWidget* modal) {
        auto* menu = dynamic_cast<ButtonMenuDialog*>(modal);
        ASSERT_NE(menu, nullptr);
        if (then) then();
        QTest::mouseClick(menu->button(slot), Qt::LeftButton);
    });
}

std::string text(const SerialTestDialog& d, const char* label) {
    return d.field(label)->text().toStdString();
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Clicks the box's check mark, where a finger would.
void tick(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(10, box->height() / 2));
}

TEST(SerialTestWindow, OverflowCountedOnceAndEveryByteStored) {
    static int argc = 1;
    static char name[] = "test_serial_test_window";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    platform::installQtUiHandlers();

    testing_support::PrivateRuntimeDir runtime;
    const std::filesystem::path root = runtime.path();
    const std::filesystem::path folder = root / "Batfiles";
    std::filesystem::create_directories(folder);
    ChildProcess simulator(
        {kTool, "simulate-module", "--port", std::to_string(kSim), "--mix", "passes",
         "--calls-per-second", "10", "--overflow-every", "2", "--log", (root / "sim.log").string(),
         "--capture", (root / "sim.bytes").string()},
        (root / "sim.err").string());
    std::string first;
    ASSERT_TRUE(simulator.readLine(first, 5000));
    ASSERT_EQ(first.rfind("COM" + std::to_string(kSim) + ":", 0), 0u) << first;

    AppSettings settings;
    settings.GPath = folder.string() + "/";
    settings.SerialPort = kSim;
    settings.FullScreen = 0;
    settings.GraphicsSystem = 0;
    platform::MemoryProfileStore store;
    ZelkoraDoc doc(settings, store);
    const std::filesystem::path stored = folder / "serialtest.txt";
    std::string transitions;
    {
        ZelkoraFrame frame(settings, doc);
        ASSERT_EQ(frame.view().StartGraphics(), 0);
        doc.CheckFolder();
        doc.ScanFolder();
        frame.ShowCurrentFile();
        frame.resize(800, 480);
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        frame.view().InitialUpdate();

        bool seen = false;
        const auto act = [&](QWidget* modal) {
            auto* d = dynamic_cast<SerialTestDialog*>(modal);
            ASSERT_NE(d, nullptr);
            seen = true;
            // Readable on the smallest touch panel in use.
            EXPECT_LE(d->width(), 800);
            EXPECT_LE(d->height(), 440);
            if (const char* pictures = std::getenv("ZELKORA_SCREENSHOTS")) {
                d->grab().save(QString::fromLocal8Bit(pictures) + "/serial-test-idle.png");
            }
            EXPECT_EQ(d->runButton()->text(), "Run");
            EXPECT_EQ(text(*d, "Recording?"), "No");
            EXPECT_FALSE(d->storeBox()->isChecked());

            // No port chosen: the port search comes up, and closed without a module it
            // leaves the dialog idle.
            settings.SerialPort = 0;
            bool searched = false;
            whenModal([&searched](QWidget* search) {
                auto* p = dynamic_cast<PortSearchDialog*>(search);
                ASSERT_NE(p, nullptr);
                searched = true;
                QTest::mouseClick(p->button("Close"), Qt::LeftButton);
            });
            QTest::mouseClick(d->runButton(), Qt::LeftButton);
            EXPECT_TRUE(searched);
            EXPECT_EQ(d->runButton()->text(), "Run");
            EXPECT_EQ(text(*d, "Recording?"), "No");
            settings.SerialPort = kSim;

            // The capture's name is taken by a folder: the run cannot start, and the dialog
            // is ready for another go.
            std::filesystem::create_directories(stored);
            tick(d->storeBox());
            ASSERT_TRUE(d->storeBox()->isChecked());
            bool warned = false;
            whenModal([&warned](QWidget* box) {
                auto* message = dynamic_cast<QMessageBox*>(box);
                ASSERT_NE(message, nullptr);
                EXPECT_EQ(message->text(), "Cannot open output file");
                warned = true;
                QTest::mouseClick(message->button(QMessageBox::Ok), Qt::LeftButton);
            });
            QTest::mouseClick(d->runButton(), Qt::LeftButton);
            EXPECT_TRUE(warned);
            EXPECT_EQ(d->runButton()->text(), "Run");
            EXPECT_TRUE(d->runButton()->isEnabled());
            EXPECT_EQ(text(*d, "Recording?"), "No");
            EXPECT_FALSE(d->state().running());
            std::filesystem::remove(stored);

            QTest::mouseClick(d->runButton(), Qt::LeftButton);
            EXPECT_EQ(d->runButton()->text(), "Stop");
            EXPECT_EQ(text(*d, "Recording?"), "Yes");
            EXPECT_EQ(text(*d, "Port"), std::to_string(kSim));
            EXPECT_FALSE(d->storeBox()->isEnabled());
            // The overflow comes after two seconds of streaming; the next would come two
            // seconds after the restart.
            ASSERT_TRUE(waitUntil([&] { return d->test().stats().overflows() == 1; }, 6000));
            const int64_t atOverflow = d->test().stats().transitions();
            QTest::qWait(1200);
            EXPECT_GT(d->test().stats().transitions(), atOverflow) << "no restart after it";
            EXPECT_EQ(text(*d, "Overflows"), "1");
            if (const char* pictures = std::getenv("ZELKORA_SCREENSHOTS")) {
                d->grab().save(QString::fromLocal8Bit(pictures) + "/serial-test-running.png");
            }
            QTest::mouseClick(d->runButton(), Qt::LeftButton);
            ASSERT_TRUE(waitUntil([&] { return d->runButton()->text() == "Run"; }, 3000));
            EXPECT_EQ(text(*d, "Recording?"), "No");
            EXPECT_EQ(text(*d, "Overflows"), "1");
            EXPECT_EQ(text(*d, "Bad transitions"), "0");
            EXPECT_EQ(text(*d, "Bad time"), "0h  0m  0s 000 000");
            // The module stood still while the overflow drained: its clock lags by that.
            EXPECT_EQ(text(*d, "O'flow time").rfind("-0h  0m  0s ", 0), 0u)
                << text(*d, "O'flow time");
            transitions = text(*d, "No of transitions");
            QTest::mouseClick(d->closeButton(), Qt::LeftButton);
        };
        // Files -> Main Menu -> Tools -> "Serial Test".
        pressInMenu(11, [&] { pressInMenu(7, [&] { pressInMenu(1, [&] { whenModal(act); }); }); });
        QTest::mouseClick(&frame.view(), Qt::LeftButton, {},
                          QPoint((frame.view().plotView().menuArea().left +
                                  frame.view().plotView().menuArea().right) /
                                     2,
                                 (frame.view().plotView().menuArea().top +
                                  frame.view().plotView().menuArea().bottom) /
                                     2));
        EXPECT_TRUE(seen);
    }
    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.wait(5000), 0);
    platform::removeQtUiHandlers();

    // Every interval that went out, but the last, which no later value completed.
    const auto log = testing_support::readLog(root / "sim.log");
    ASSERT_GT(log.size(), 100u);
    EXPECT_EQ(transitions,
              acquisition::SerialTestStats::WithThousands(static_cast<int64_t>(log.size()) - 1));
    // Two version replies (the start that failed, the run), then the stream as it went.
    const std::vector<uint8_t> sent = readBytes(root / "sim.bytes");
    ASSERT_GT(sent.size(), 14u);
    EXPECT_EQ(sent[0], 'V');
    EXPECT_EQ(sent[7], 'V');
    EXPECT_EQ(readBytes(stored), std::vector<uint8_t>(sent.begin() + 14, sent.end()));
}

}  // namespace
