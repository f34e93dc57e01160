#pragma once
#include <cstdint>
#include <deque>
#include <string>

struct AppSettings;

// The module port search dialog without its window: the texts it shows, which buttons work,
// and when it closes. The worker's statuses come faster than anyone reads them, so they
// queue and each stays on the status line for at least `holdMs` while the window goes on
// working; the times are handed in by the caller, so no clock is read here.
class PortSearchDialogState {
  public:
    explicit PortSearchDialogState(int32_t holdMs = 1000) : holdMs_(holdMs) {}

    // Opening: the port to select first, the last-found line, an empty status line.
    void Open(const AppSettings& settings);
    // An entry of the list chosen: "Port %d selected" at once (the user's own act waits for
    // nothing queued).
    void Select(int32_t port, int64_t nowMs);
    // "Search ports" or "Try this port" pressed: the status line emptied, "Stop" enabled.
    void SearchStarted(int64_t nowMs);
    // A status of the worker. "Search stopped by user" answers the user's press and is shown
    // at once, in place of what was still queued.
    void Status(int32_t code, int32_t port, int64_t nowMs);
    // The worker's finished notice: "Stop" disabled; a port found closes the dialog once its
    // statuses, "Success port %d" the last, have each had their time.
    void Finished(int32_t result);
    // "Stop" pressed (the worker has been joined).
    void Stopped();

    // Moves on to the next queued status once the shown one has had its time; true when the
    // status line changed.
    bool Advance(int64_t nowMs);
    // Milliseconds until Advance has something to do or the dialog is to close, or -1.
    int64_t NextChangeIn(int64_t nowMs) const;

    const std::string& statusText() const { return status_; }
    const std::string& lastFoundText() const { return lastFound_; }
    int32_t selectedPort() const { return selected_; }
    // The port found (> 0), else 0.
    int32_t foundPort() const { return found_; }
    bool searching() const { return searching_; }
    bool stopEnabled() const { return searching_; }
    // "Search ports", "Try this port" and "Refresh" wait while a search runs: the list they
    // would change is the one being searched.
    bool idleButtonsEnabled() const { return !searching_; }
    bool shouldClose(int64_t nowMs) const;
    size_t queued() const { return queue_.size(); }

  private:
    void show(std::string text, int64_t nowMs);

    int32_t holdMs_;
    std::string status_;
    std::string lastFound_;
    std::deque<std::string> queue_;
    int64_t shownAt_ = 0;
    bool held_ = false;  // the shown status still has its time to run
    int32_t selected_ = 1;
    int32_t found_ = 0;
    bool searching_ = false;
};
