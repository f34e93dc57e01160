#pragma once
// A virtual X display of its own, with the window manager a user's machine runs (or none),
// for window tests that look at what the screen shows. The display takes the first free
// number (Xvfb picks it), and both processes end with the session.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/SpawnQuietly.h"

namespace testing_support {

class XSession {
  public:
    // `windowManager`: "" for none, else the program ("matchbox-window-manager", "openbox").
    XSession(int width, int height, const std::string& windowManager) {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
        xvfb_ = spawnQuietly({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", size,
                              "-nolisten", "tcp"},
                             fds[1]);
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        if (windowManager.empty()) {
            ready_ = true;
            return;
        }
        wm_ = spawnQuietly({windowManager});
        // A window manager announces itself on the root window once it manages the screen.
        // One that gave up at once (seen now and then while other displays start beside
        // this one) is started again.
        for (int i = 0; i < 400 && !ready_; ++i) {
            if (waitpid(wm_, nullptr, WNOHANG) == wm_) wm_ = spawnQuietly({windowManager});
            ready_ = std::system(
                         "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | "
                         "grep -q 'window id'") == 0;
            if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~XSession() {
        for (pid_t pid : {wm_, xvfb_}) {
            if (pid <= 0) continue;
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The display is up and its window manager (if any) runs.
    bool ready() const { return ready_; }

  private:
    pid_t xvfb_ = -1;
    pid_t wm_ = -1;
    bool ready_ = false;
};

}  // namespace testing_support
