// The module port search over real pseudo-terminals: a responder thread plays the module
// ('v' answered with a 7-byte reply beginning 'V'), other ports stay silent or do not exist.
#include "acquisition/PortSearch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "acquisition/PtyPeer.h"
#include "app/AppSettings.h"
#include "platform/UiThread.h"

using acquisition::CommFile;
using acquisition::PortSearch;
using testing_support::PrivateRuntimeDir;
using testing_support::PtyPeer;

namespace {

// Answers each 'v' on the master side of `peer` with `reply` after `delay`.
class Responder {
  public:
    Responder(PtyPeer& peer, std::vector<uint8_t> reply,
              std::chrono::milliseconds delay = std::chrono::milliseconds(0))
        : thread_([this, &peer, reply = std::move(reply), delay] {
              while (!done_) {
                  pollfd p{peer.master(), POLLIN, 0};
                  if (::poll(&p, 1, 20) <= 0) continue;
                  uint8_t buf[64];
                  const ssize_t n = ::read(peer.master(), buf, sizeof buf);
                  if (n <= 0) {
                      // Nobody holds the line open: wait for the next open.
                      std::this_thread::sleep_for(std::chrono::milliseconds(2));
                      continue;
                  }
                  for (ssize_t i = 0; i < n; ++i) {
                      if (buf[i] != 'v') continue;
                      ++queries;
                      std::this_thread::sleep_for(delay);
                      peer.send(reply);
                  }
              }
          }) {}
    ~Responder() {
        done_ = true;
        thread_.join();
    }
    std::atomic<int> queries{0};

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

const std::vector<uint8_t> kVersionReply{'V', '1', '.', '2', '3', '\r', '\n'};

struct Notices {
    std::vector<std::string> texts;
    int32_t result = 99;
    bool finished = false;

    PortSearch::StatusNotice status() {
        return [this](int32_t code, int32_t port) {
            texts.push_back(PortSearch::statusText(code, port));
        };
    }
    PortSearch::FinishedNotice done() {
        return [this](int32_t r) {
            result = r;
            finished = true;
        };
    }
    // Plays the UI thread's loop until the finished notice has been handled.
    void runUntilFinished(PortSearch& search) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!finished && std::chrono::steady_clock::now() < end) {
            platform::runPostedTasks();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_FALSE(search.running());
    }
};

class PortSearchOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(module.ok());
        ASSERT_TRUE(silent.ok());
        runtime.registerPort(200, module.slavePath(), "DETLINK simulator");
        runtime.registerPort(201, silent.slavePath(), "silent line");
        platform::runPostedTasks();  // nothing left over from other tests
    }

    PrivateRuntimeDir runtime;
    PtyPeer module;
    PtyPeer silent;
    CommFile port;
};

}  // namespace

TEST_F(PortSearchOnPty, FindsTheModuleOnTheThirdPortAndLeavesItOpen) {
    Responder responder(module, kVersionReply);
    PortSearch search(port);
    Notices notices;
    // The reply must be in within 10 ms; on a heavily loaded machine the responder thread
    // may miss that once, so a few attempts are allowed.
    for (int attempt = 0; attempt < 3 && notices.result != 200; ++attempt) {
        notices = Notices{};
        search.start({201, 202, 200, 201}, PortSearch::kWholeList, notices.status(),
                     notices.done());
        notices.runUntilFinished(search);
    }
    EXPECT_EQ(notices.result, 200);
    const std::vector<std::string> expected{"Trying port 201", "DETLINK not found on port 201",
                                            "Trying port 202", "Com port 202 not found",
                                            "Trying port 200", "Success port 200"};
    EXPECT_EQ(notices.texts, expected);
    EXPECT_EQ(port.isOpen(), 1);
    EXPECT_GE(responder.queries, 1);
    // The caller goes on using the open port.
    EXPECT_EQ(port.ComWriteBytes("G", 1), 1);
}

TEST_F(PortSearchOnPty, WholeListFailingEndsWithNoDetlinkFound) {
    PortSearch search(port);
    Notices notices;
    // Entries without a port number are passed over without a status.
    search.start({0, 201, -4, 205}, PortSearch::kWholeList, notices.status(), notices.done());
    notices.runUntilFinished(search);
    const std::vector<std::string> expected{"Trying port 201", "DETLINK not found on port 201",
                                            "Trying port 205", "Com port 205 not found",
                                            "No DETLINK found"};
    EXPECT_EQ(notices.texts, expected);
    EXPECT_EQ(notices.result, 0);
    EXPECT_EQ(port.isOpen(), 0);
}

TEST_F(PortSearchOnPty, SinglePortKeepsItsOwnFailure) {
    PortSearch search(port);
    Notices notices;
    search.start({200, 201, 202}, 201, notices.status(), notices.done());
    notices.runUntilFinished(search);
    EXPECT_EQ(notices.texts,
              (std::vector<std::string>{"Trying port 201", "DETLINK not found on port 201"}));
    EXPECT_EQ(notices.result, PortSearch::kNoModule);
    EXPECT_EQ(port.isOpen(), 0);

    // One port tried from a list is no "No DETLINK found" either.
    Notices again;
    search.start({202}, PortSearch::kWholeList, again.status(), again.done());
    again.runUntilFinished(search);
    EXPECT_EQ(again.texts.back(), "Com port 202 not found");
    EXPECT_EQ(again.result, PortSearch::kPortNotFound);
}

TEST_F(PortSearchOnPty, SlowOrWrongRepliesAreNoModule) {
    std::atomic<int32_t> noStop{0};
    {
        // All 7 bytes must be in within 10 ms.
        Responder slow(module, kVersionReply, std::chrono::milliseconds(80));
        Notices n;
        EXPECT_EQ(PortSearch::search(port, {}, 200, noStop, n.status()), PortSearch::kNoModule);
        EXPECT_EQ(n.texts.back(), "DETLINK not found on port 200");
    }
    module.receive(100);  // drop what the slow module still sends
    {
        Responder wrong(module, {'v', '1', '.', '2', '3', '\r', '\n'});
        Notices n;
        EXPECT_EQ(PortSearch::search(port, {}, 200, noStop, n.status()), PortSearch::kNoModule);
    }
    {
        Responder shortReply(module, {'V', '1', '.', '2', '3', '\r'});
        Notices n;
        EXPECT_EQ(PortSearch::search(port, {}, 200, noStop, n.status()), PortSearch::kNoModule);
    }
    EXPECT_EQ(port.isOpen(), 0);
}

TEST_F(PortSearchOnPty, StopFlagSeenBetweenSteps) {
    Responder responder(module, kVersionReply);
    std::atomic<int32_t> stop{0};
    std::vector<std::string> texts;
    // The user presses "Stop" while the second port is being tried.
    const int32_t result = PortSearch::search(port, {201, 200}, PortSearch::kWholeList, stop,
                                              [&](int32_t code, int32_t p) {
                                                  texts.push_back(PortSearch::statusText(code, p));
                                                  if (code == PortSearch::kTrying && p == 200)
                                                      stop = 1;
                                              });
    EXPECT_EQ(result, PortSearch::kStopped);
    EXPECT_EQ(texts.back(), "Search stopped by user");
    EXPECT_EQ(texts.size(), 4u);
    EXPECT_EQ(port.isOpen(), 0);
    EXPECT_EQ(responder.queries, 0);
}

TEST_F(PortSearchOnPty, StopDuringALongSearch) {
    PortSearch search(port);
    Notices notices;
    std::vector<int32_t> many(2000, 201);
    search.start(many, PortSearch::kWholeList, notices.status(), notices.done());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(search.running());
    search.stop();
    EXPECT_FALSE(search.running());
    notices.runUntilFinished(search);
    EXPECT_EQ(notices.result, PortSearch::kStopped);
    EXPECT_EQ(notices.texts.back(), "Search stopped by user");
    EXPECT_LT(notices.texts.size(), 2000u);
    EXPECT_EQ(port.isOpen(), 0);
}

TEST_F(PortSearchOnPty, NoticesOfADestroyedSearchAreDropped) {
    Notices notices;
    {
        PortSearch search(port);
        search.start({201, 201}, PortSearch::kWholeList, notices.status(), notices.done());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }  // joins the worker; its notices are still queued
    platform::runPostedTasks();
    EXPECT_TRUE(notices.texts.empty());
    EXPECT_FALSE(notices.finished);
}

TEST(PortSearchTexts, DialogTexts) {
    EXPECT_EQ(PortSearch::statusText(-2, 3), "Cannot set port 3 timeouts");
    EXPECT_EQ(PortSearch::statusText(-3, 3), "Write to port 3 failed");
    EXPECT_EQ(PortSearch::statusText(-10, 3), "Search stopped by user");
    AppSettings s;
    s.SerialPort = 0;
    s.SerialPortLastSuccessful = 0;
    EXPECT_EQ(PortSearch::initialPort(s), 1);
    EXPECT_EQ(PortSearch::lastFoundText(s), "DETLINK not found previously");
    s.SerialPortLastSuccessful = 200;
    EXPECT_EQ(PortSearch::initialPort(s), 200);
    EXPECT_EQ(PortSearch::lastFoundText(s), "DETLINK last found on Port 200");
    s.SerialPort = 33;
    EXPECT_EQ(PortSearch::initialPort(s), 33);
    EXPECT_EQ(PortSearch::selectedText(33), "Port 33 selected");
}
