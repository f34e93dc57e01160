#pragma once
#include <cstdint>
#include <string>

#include "acquisition/SerialTestStats.h"

// The serial test dialog without its window: idle or running, what the button and the
// "Recording?" and "Port" fields read, and the statistics' texts it shows.
class SerialTestDialogState {
  public:
    // What a press of the run button is to do.
    enum class RunAction {
        Start,  // idle: look for the module and start a run
        Stop,   // running: ask the worker to end
        None,   // the worker has been asked and has not ended yet
    };

    static constexpr const char* kCannotOpenOutputFile = "Cannot open output file";
    static constexpr const char* kCannotWriteOutputFile = "Cannot write output file";

    // Opening: idle, statistics at zero, "Store to file" off.
    void Open();
    RunAction RunPressed();
    // The run is on `port`.
    void Started(int32_t port);
    // Back to idle: no run came of the press (no module, or the capture file could not be
    // made), or the worker has ended and been joined.
    void Idle();
    void ShowStats(acquisition::SerialTestStats::Texts texts) { stats_ = std::move(texts); }

    bool running() const { return running_; }
    bool stopping() const { return stopping_; }
    std::string buttonText() const { return running_ ? "Stop" : "Run"; }
    bool buttonEnabled() const { return !stopping_; }
    std::string recordingText() const { return running_ ? "Yes" : "No"; }
    std::string portText() const { return port_ > 0 ? std::to_string(port_) : std::string(); }
    // The choice is taken when a run starts; changing it later would change nothing.
    bool storeEnabled() const { return !running_; }
    bool storeToFile() const { return store_; }
    void SetStoreToFile(bool on) { store_ = on; }
    const acquisition::SerialTestStats::Texts& stats() const { return stats_; }

  private:
    bool running_ = false;
    bool stopping_ = false;
    bool store_ = false;
    int32_t port_ = 0;
    acquisition::SerialTestStats::Texts stats_ = acquisition::SerialTestStats().texts();
};
