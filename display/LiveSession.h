#pragma once
#include <cstdint>
#include <vector>

struct AppSettings;
class FullScreenControl;
class PlotView;
class ZelkoraDoc;
namespace acquisition {
class CommFile;
}

// What a recording asks of the window system besides the view: the 25 ms display timer, the
// menu bar that offers only "STOP" while live, and the search for the module.
class LiveHost {
  public:
    virtual ~LiveHost() = default;
    virtual void StartDisplayTimer() = 0;
    virtual void StopDisplayTimer() = 0;
    virtual void ShowLiveMenuBar(bool live) = 0;
    // Looks for the module with `port`, which is left open on it. The port number found, or
    // <= 0 when there is none.
    virtual int32_t SearchPorts(acquisition::CommFile& /*port*/) { return 0; }
};

// The window's side of a recording: the Rec menu's commands, the live display fed from the
// recorder's queue every 25 ms, the one-second recorder task, and the way back to viewing
// files when the recording ends, by the user or by a failure of the module.
class LiveSession {
  public:
    // The Rec menu's codes (64 + the button's slot).
    static constexpr int32_t kRecord = 65;
    static constexpr int32_t kMonitor = 67;
    static constexpr int32_t kSave = 68;
    static constexpr int32_t kStop = 70;
    static constexpr int32_t kChoosePort = 71;

    LiveSession(AppSettings& settings, ZelkoraDoc& doc, PlotView& view,
                FullScreenControl& fullScreen, LiveHost& host);
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // A code of the Rec menu; anything else does nothing.
    void RecordCommand(int32_t code);
    // "Record" (false) or "Monitor" (true): nothing when that mode already runs; the other
    // mode is stopped first, and the start checks the module again.
    void Start(bool monitor);
    // A start in the mode last chosen (the handheld's fourth button).
    void StartRecording();
    void StopRecording();
    void SaveRecording();
    // "Choose port": the module's port is forgotten, so the next start searches for it.
    void ChoosePort();

    // The 25 ms display tick: the queued dots drawn, the notices and the names of the files
    // written; the end of the live display once the recorder has stopped.
    void DisplayTick();
    // The one-second task: idle seconds of the recorder and the GPS poll.
    int32_t SecondTick();

    bool live() const { return live_; }

    // What the live display went through since the window opened: the notices a user would
    // have seen and the slowest tick, so that a long run can show it kept up.
    struct Stats {
        int64_t ticks = 0;
        int64_t dots = 0;
        int64_t slowestTickMicros = 0;
        int64_t wasteNotices = 0;
        int64_t overflowNotices = 0;
    };
    const Stats& stats() const { return stats_; }

    // The enabled and checked state of a Rec menu item.
    struct ItemState {
        bool enabled = true;
        bool checked = false;
    };
    ItemState MenuItem(int32_t code) const;

  private:
    int32_t PrepareLive();
    void EndLive();

    AppSettings& s_;
    ZelkoraDoc& doc_;
    PlotView& view_;
    FullScreenControl& fullScreen_;
    LiveHost& host_;
    bool live_ = false;
    std::vector<int32_t> tickDots_;  // kept between ticks: no allocation per tick
    Stats stats_;
};
