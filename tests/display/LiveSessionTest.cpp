// The window's side of a recording without a window: the Rec menu's states, the live display
// fed from the queue, its notices, and the end of a recording by the user or by the module,
// against a module that answers on a pseudo-terminal.
#include "display/LiveSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/PtyPeer.h"
#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "display/FullScreenControl.h"
#include "display/PlotView.h"
#include "display/ViewHost.h"
#include "platform/MemoryProfileStore.h"
#include "platform/MessageSink.h"
#include "tests/display/FakeGraphics.h"

namespace {

using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;
constexpr int32_t kPort = 233;

// A module that answers every 'v' and otherwise stays silent; it notes the commands.
class SilentModule {
  public:
    explicit SilentModule(PtyPeer& peer) : peer_(peer), thread_([this] { run(); }) {}
    ~SilentModule() {
        done_ = true;
        thread_.join();
    }
    int checks() const { return checks_.load(); }

  private:
    void run() {
        while (!done_) {
            for (uint8_t b : peer_.receive(5)) {
                if (b != 'v') continue;
                ++checks_;
                peer_.send({'V', '1', '.', '0', '0', '\r', '\n'});
            }
        }
    }
    PtyPeer& peer_;
    std::atomic<bool> done_{false};
    std::atomic<int> checks_{0};
    std::thread thread_;
};

class Host : public ViewHost, public LiveHost {
  public:
    bool timer = false, liveBar = false;
    int searches = 0;
    void RunMenu(DialogMenuTemplate&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    void ApplyFullScreen(bool) override {}
    void StartKeyGuardTimer() override {}
    void CloseWindow() override {}
    void StartDisplayTimer() override { timer = true; }
    void StopDisplayTimer() override { timer = false; }
    void ShowLiveMenuBar(bool live) override { liveBar = live; }
    int32_t SearchPorts(acquisition::CommFile&) override {
        ++searches;
        return 0;
    }
};

class LiveSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        runtime.registerPort(kPort, peer.slavePath(), "DETLINK test module");
        settings.GPath = runtime.path() + "/Batfiles/";
        settings.SerialPort = kPort;
        settings.HScaleRecord = 2;
        platform::setMessageHandler(
            [this](const std::string& text, platform::MessageIcon) { messages.push_back(text); });
        platform.giveFrameBuffer();
        settings.GraphicsSystem = 2;
        ASSERT_EQ(surface.Init(settings.GraphicsSystem), 0);
        view.SetBarHeight(0);
        view.OnInitialUpdate();
        ASSERT_TRUE(view.layoutOk());
        session = std::make_unique<LiveSession>(settings, doc, view, fullScreen, host);
    }
    void TearDown() override {
        session.reset();
        platform::setMessageHandler({});
    }
    LiveSession::ItemState item(int32_t code) const { return session->MenuItem(code); }
    // The worker empties the queue as it begins; points put in before that would vanish.
    void waitForWorker() {
        acquisition::DotQueue& queue = doc.recorder().dotQueue();
        for (int tries = 0; tries < 20; ++tries) {
            queue.push({1, 1});
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            acquisition::DotPoint p;
            if (queue.takeOldest(p)) return;
        }
        FAIL() << "the worker did not begin";
    }

    PrivateRuntimeDir runtime;
    PtyPeer peer;
    AppSettings settings;
    platform::MemoryProfileStore store;
    fake::Platform platform;
    GraphicsSurface surface{platform};
    PlotView view{settings, surface, platform};
    ZelkoraDoc doc{settings, store};
    Host host;
    FullScreenControl fullScreen{settings, view, host};
    std::unique_ptr<LiveSession> session;
    std::vector<std::string> messages;
};

TEST_F(LiveSessionTest, TheRecMenuFollowsTheRecordingAndAModeSwitchChecksTheModuleAgain) {
    SilentModule module(peer);
    EXPECT_FALSE(item(LiveSession::kRecord).checked);
    EXPECT_TRUE(item(LiveSession::kRecord).enabled);
    EXPECT_TRUE(item(LiveSession::kMonitor).enabled);
    EXPECT_FALSE(item(LiveSession::kSave).enabled);
    EXPECT_FALSE(item(LiveSession::kStop).enabled);
    EXPECT_TRUE(item(LiveSession::kChoosePort).enabled);

    session->RecordCommand(LiveSession::kRecord);
    ASSERT_TRUE(session->live());
    EXPECT_TRUE(view.live());
    EXPECT_TRUE(host.timer);
    EXPECT_TRUE(host.liveBar);
    EXPECT_EQ(view.dotsPerColumn(), 2);
    EXPECT_EQ(view.StatusContent().liveText, "Recording");
    EXPECT_TRUE(item(LiveSession::kRecord).checked);
    EXPECT_FALSE(item(LiveSession::kRecord).enabled);
    EXPECT_FALSE(item(LiveSession::kMonitor).checked);
    EXPECT_TRUE(item(LiveSession::kSave).enabled);
    EXPECT_TRUE(item(LiveSession::kStop).enabled);
    EXPECT_EQ(module.checks(), 1);

    // "Record" again changes nothing; "Monitor" stops and starts again with a new check.
    session->RecordCommand(LiveSession::kRecord);
    EXPECT_EQ(module.checks(), 1);
    session->RecordCommand(LiveSession::kMonitor);
    EXPECT_EQ(module.checks(), 2);
    EXPECT_TRUE(doc.recorder().monitorMode());
    EXPECT_TRUE(item(LiveSession::kMonitor).checked);
    EXPECT_EQ(view.StatusContent().liveText, "Monitoring");

    // "Choose port" while recording forgets the port and leaves the recording alone.
    session->RecordCommand(LiveSession::kChoosePort);
    EXPECT_EQ(settings.SerialPort, 0);
    EXPECT_TRUE(doc.recorder().recording());
    EXPECT_EQ(host.searches, 0);

    session->RecordCommand(LiveSession::kStop);
    EXPECT_FALSE(session->live());
    EXPECT_FALSE(view.live());
    EXPECT_FALSE(host.timer);
    EXPECT_FALSE(host.liveBar);
    EXPECT_FALSE(doc.recorder().recording());
    // The next start searches (no module found: nothing starts).
    session->StartRecording();
    EXPECT_EQ(host.searches, 1);
    EXPECT_FALSE(session->live());
    EXPECT_TRUE(messages.empty());
}

TEST_F(LiveSessionTest, TicksDrawTheQueueAndShowTheNoticesWhileTheyCountDown) {
    SilentModule module(peer);
    session->Start(false);
    ASSERT_TRUE(session->live());
    waitForWorker();
    acquisition::DotQueue& queue = doc.recorder().dotQueue();
    for (int i = 0; i < 7; ++i) queue.push({100, 40000000 + i * 1000000});
    queue.setOverflowSeen();
    session->DisplayTick();
    EXPECT_EQ(queue.count(), 0);
    EXPECT_EQ(view.liveDotCount(), 7);
    EXPECT_EQ(view.writeColumn(), 3);  // two dots a column
    EXPECT_EQ(view.StatusContent().liveText, "O'Flow");
    queue.setDotsWasted();
    session->DisplayTick();
    EXPECT_EQ(view.StatusContent().liveText, "W & O");
    // About a quarter second each.
    int ticks = 0;
    while (view.StatusContent().liveText != "Recording" && ticks < 40) {
        session->DisplayTick();
        ++ticks;
    }
    EXPECT_GE(ticks, 7);
    EXPECT_LE(ticks, 11);
    session->StopRecording();
}

TEST_F(LiveSessionTest, AFailedModuleEndsTheLiveDisplayWithItsMessage) {
    SilentModule module(peer);
    session->Start(true);
    ASSERT_TRUE(session->live());
    doc.recorder().dotQueue().push({100, 50000000});
    // What the worker's failure exit leaves for the view.
    doc.recorder().moduleError().store(1);
    doc.recorder().liveDisplay().store(0);
    session->DisplayTick();
    EXPECT_FALSE(session->live());
    EXPECT_FALSE(view.live());
    EXPECT_FALSE(host.timer);
    EXPECT_FALSE(host.liveBar);
    EXPECT_EQ(doc.recorder().dotQueue().count(), 0);
    EXPECT_EQ(doc.recorder().moduleError().load(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{"DETLINK error"});
    // Later ticks (a timer event already queued) do nothing more.
    session->DisplayTick();
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(LiveSessionTest, AViewNotLaidOutRefusesWithItsMessage) {
    SilentModule module(peer);
    PlotView unlaid(settings, surface, platform);
    LiveSession other(settings, doc, unlaid, fullScreen, host);
    other.Start(false);
    EXPECT_EQ(messages, std::vector<std::string>{"Record Window too wide"});
    EXPECT_FALSE(other.live());
    EXPECT_FALSE(doc.recorder().recording());
    EXPECT_FALSE(host.liveBar);
}

}  // namespace
