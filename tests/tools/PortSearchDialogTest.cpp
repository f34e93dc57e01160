// The module port search dialog with real widgets against two module simulators and a dead
// port, all registered as virtual ports: the statuses in order and each held readable, a
// module found closing the dialog with the port left open, and "Stop" during a search.
#include "platform/qt/PortSearchDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>

#include "ChildProcess.h"
#include "WindowSteps.h"
#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "platform/MemoryProfileStore.h"
#include "platform/SerialDevices.h"
#include "platform/qt/ComboSerialPortBox.h"
#include "platform/qt/QtUiHandlers.h"
#include "platform/qt/ZelkoraFrame.h"
#include "tests/acquisition/PtyPeer.h"

using testing_support::ChildProcess;
using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;
using testing_support::waitUntil;

namespace {

const std::string kTool = std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool";
constexpr int32_t kHoldMs = 40;
constexpr int32_t kDead = 201;
constexpr int32_t kSimA = 300;
constexpr int32_t kSimB = 301;

// Closed on a module found, or idle with every status shown.
bool settled(const PortSearchDialog& d) {
    return !d.isVisible() ||
           (!d.state().searching() && d.foundPort() <= 0 && d.state().queued() == 0);
}

std::vector<std::string> texts(const PortSearchDialog& d) {
    std::vector<std::string> out;
    for (const PortSearchDialog::Shown& s : d.shownStatuses()) out.push_back(s.text);
    return out;
}

class PortSearchDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_port_search_dialog";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        platform::installQtUiHandlers();
    }
    static void TearDownTestSuite() {
        platform::removeQtUiHandlers();
        delete app_;
    }

    void SetUp() override {
        // Registered by this process, on a device that is not there.
        runtime.registerPort(kDead, "/dev/zelkora-no-such-line", "dead line");
        simA = startSimulator(kSimA);
        simB = startSimulator(kSimB);
        ASSERT_TRUE(simA && simB);
        settings.SerialPort = 0;
        settings.SerialPortLastSuccessful = kSimB;
    }

    std::unique_ptr<ChildProcess> startSimulator(int32_t port) {
        auto sim = std::make_unique<ChildProcess>(
            std::vector<std::string>{kTool, "simulate-module", "--port", std::to_string(port)},
            "/dev/null");
        std::string first;
        if (!sim->readLine(first, 5000) || first.rfind("COM" + std::to_string(port) + ":", 0) != 0)
            return nullptr;
        return sim;
    }

    // The machine's own serial ports are left out: what is searched is what the test set up.
    std::unique_ptr<PortSearchDialog> open(int32_t holdMs = kHoldMs) {
        auto d = std::make_unique<PortSearchDialog>(
            settings, port,
            gps::PortList::Sources{{}, platform::listVirtualPorts, gps::PortList::CanOpenPort},
            holdMs, nullptr);
        d->show();
        return d;
    }

    static QApplication* app_;
    PrivateRuntimeDir runtime;
    std::unique_ptr<ChildProcess> simA, simB;
    AppSettings settings;
    acquisition::CommFile port;
};

QApplication* PortSearchDialogTest::app_ = nullptr;

TEST_F(PortSearchDialogTest, OpensIdleOnTheLastPortFound) {
    auto d = open();
    EXPECT_EQ(d->findChild<QLabel*>()->text(), "DETLINK last found on Port 301");
    EXPECT_EQ(d->portBox().ports(), (std::vector<int32_t>{kDead, kSimA, kSimB}));
    EXPECT_EQ(d->portBox().selectedPort(), kSimB);
    EXPECT_FALSE(d->button("Stop")->isEnabled());
    EXPECT_TRUE(d->button("Search ports")->isEnabled());
    EXPECT_TRUE(d->shownStatuses().empty());
}

TEST_F(PortSearchDialogTest, SearchShowsEachStatusInOrderAndCloses) {
    // The module has 10 ms to answer; a loaded machine may miss that once.
    std::vector<std::string> shown;
    for (int attempt = 0; attempt < 3 && port.isOpen() == 0; ++attempt) {
        auto d = open();
        QTest::mouseClick(d->button("Search ports"), Qt::LeftButton);
        waitUntil([&] { return settled(*d); }, 5000);
        shown = texts(*d);
        if (d->foundPort() != kSimA) continue;
        EXPECT_EQ(d->result(), QDialog::Accepted);
        // Each status had its time on the line, the window working meanwhile.
        const auto& s = d->shownStatuses();
        for (size_t i = 1; i < s.size(); ++i) EXPECT_GE(s[i].atMs - s[i - 1].atMs, kHoldMs);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"Trying port 201", "Com port 201 not found",
                                               "Trying port 300", "Success port 300"}));
    EXPECT_EQ(port.isOpen(), 1);
    port.close();
}

TEST_F(PortSearchDialogTest, TryThisPortOnTheSecondSimulatorAndOnTheDeadPort) {
    auto d = open();
    ComboSerialPortBox& box = d->portBox();
    box.setCurrentIndex(0);
    emit box.activated(0);
    EXPECT_EQ(d->state().statusText(), "Port 201 selected");
    QTest::mouseClick(d->button("Try this port"), Qt::LeftButton);
    ASSERT_TRUE(
        waitUntil([&] { return d->state().queued() == 0 && !d->state().searching(); }, 3000));
    // A single port keeps its own failure as the last word; the dialog stays, idle.
    EXPECT_EQ(texts(*d), (std::vector<std::string>{"Port 201 selected", "Trying port 201",
                                                   "Com port 201 not found"}));
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->button("Stop")->isEnabled());
    EXPECT_EQ(settings.SerialPort, kDead);
    EXPECT_EQ(port.isOpen(), 0);

    for (int attempt = 0; attempt < 3 && d->isVisible(); ++attempt) {
        box.setCurrentIndex(2);
        emit box.activated(2);
        QTest::mouseClick(d->button("Try this port"), Qt::LeftButton);
        waitUntil([&] { return settled(*d); }, 3000);
    }
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->foundPort(), kSimB);
    EXPECT_EQ(settings.SerialPort, kSimB);
    EXPECT_EQ(port.isOpen(), 1);
    port.close();
}

// Each status is shown while the search is at that step (a second each here), not replayed
// after it ended: "Stop" works and the other buttons wait for as long as a status is up.
TEST_F(PortSearchDialogTest, StopDuringASearchLeavesItIdleAndOpen) {
    // Sixty silent lines between the dead port and the simulators keep the search busy for
    // over half a second.
    PtyPeer silent;
    ASSERT_TRUE(silent.ok());
    for (int32_t p = 210; p < 270; ++p) runtime.registerPort(p, silent.slavePath(), "silent");
    // A remembered port that is not listed is shown in the list, since "Try this port" tries it.
    settings.SerialPort = 290;
    auto d = open(1000);
    EXPECT_EQ(d->portBox().currentText().toStdString(), "COM290: (not listed)");
    EXPECT_EQ(d->portBox().selectedPort(), 290);
    QTest::mouseClick(d->button("Search ports"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return d->state().statusText() == "Trying port 210"; }, 20000));
    ASSERT_TRUE(d->button("Stop")->isEnabled());
    for (const char* idle : {"Search ports", "Try this port", "Refresh"})
        EXPECT_FALSE(d->button(idle)->isEnabled()) << idle;
    QTest::mouseClick(d->button("Stop"), Qt::LeftButton);
    // The word comes ahead of what was still queued.
    EXPECT_TRUE(
        waitUntil([&] { return d->state().statusText() == "Search stopped by user"; }, 1000));
    EXPECT_EQ(d->state().queued(), 0u);
    const std::vector<std::string> shown = texts(*d);
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(
        std::vector<std::string>(shown.begin(), shown.begin() + 3),
        (std::vector<std::string>{"Trying port 201", "Com port 201 not found", "Trying port 210"}));
    EXPECT_EQ(shown.back(), "Search stopped by user");
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->button("Stop")->isEnabled());
    EXPECT_TRUE(d->button("Search ports")->isEnabled());
    EXPECT_EQ(port.isOpen(), 0);
    // "Close" ends the dialog without a port.
    QTest::mouseClick(d->button("Close"), Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->foundPort(), 0);
}

// "Choose port" in the window: the dialog comes up, the search finds the first simulator,
// and the recording runs from that port.
TEST_F(PortSearchDialogTest, ChoosePortRecordsFromThePortFound) {
    char pattern[] = "/tmp/zelkora-port-dialog-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path folder = std::filesystem::path(pattern) / "Batfiles";
    std::filesystem::create_directories(folder);
    settings.GPath = folder.string() + "/";
    settings.SerialPort = kDead;
    settings.FullScreen = 0;
    settings.GraphicsSystem = 0;
    platform::MemoryProfileStore store;
    ZelkoraDoc doc(settings, store);
    {
        ZelkoraFrame frame(settings, doc);
        frame.portStatusHoldMs = kHoldMs;
        ASSERT_TRUE(testing_support::showFrame(frame, doc));

        bool dialogSeen = false;
        whenModal([&dialogSeen](QWidget* modal) {
            auto* d = dynamic_cast<PortSearchDialog*>(modal);
            ASSERT_NE(d, nullptr);
            dialogSeen = true;
            QTest::mouseClick(d->button("Search ports"), Qt::LeftButton);
            // A module that missed its 10 ms must not leave the test waiting for ever.
            QTimer::singleShot(5000, d, [d] { d->reject(); });
        });
        frame.live().RecordCommand(LiveSession::kChoosePort);
        EXPECT_TRUE(dialogSeen);
        EXPECT_TRUE(doc.recorder().recording());
        EXPECT_TRUE(frame.view().plotView().live());
        EXPECT_EQ(settings.SerialPort, kSimA);
        EXPECT_EQ(settings.SerialPortLastSuccessful, kSimA);
        frame.live().StopRecording();
        EXPECT_FALSE(doc.recorder().recording());
    }
    std::filesystem::remove_all(pattern);
}

}  // namespace
