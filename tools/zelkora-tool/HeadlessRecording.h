#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/ZelkoraDoc.h"
#include "platform/MemoryProfileStore.h"

struct AppSettings;

namespace tool {

// The recorder's own document run without a window, as `record` and `station` use it: the
// port search without its dialog, the display and one-second ticks, the GPS poll, and the
// reports of how a recording ended. The settings changed for the run are never saved into
// the user's profile: the document saves into a store of its own.
class HeadlessRecording {
  public:
    using Notice = std::function<void(const std::string&)>;

    // `searchNotice` hears each step of a port search as it comes.
    HeadlessRecording(AppSettings& settings, Notice searchNotice);

    ZelkoraDoc& doc() { return doc_; }
    acquisition::RecordingControl& control() { return doc_.recorder(); }

    // Starts a recording on the SerialPort setting, searching the listed ports when the
    // module does not answer there. False with `why` set when no recording started.
    bool start(bool monitor, std::string& why);
    // The display tick, and the one-second tick (GPS poll) when a second has passed since
    // the last; `saved` hears every file written since, `dots` (when given) every display
    // point taken.
    void tick(const Notice& saved,
              const std::function<void(const acquisition::DotPoint&)>& dots = {});
    // Stops a running recording (the pass under way is saved) and reports the last names.
    void stop(const Notice& saved);
    // The recording ended by itself because the module failed; `lines` get what to report.
    bool moduleFailed();
    void describeFailure(const Notice& line) const;
    // Sequences that could not be written (still waiting, or dropped for want of room).
    int32_t unsavedCount();
    // Connects the GPS poll; false with `why` set when the port cannot be opened.
    bool connectGps(int32_t port, int32_t baud, std::string& why);
    // The receiver's port hung up for good (unplugged); it is closed, to be connected again.
    bool gpsLost();

  private:
    platform::MemoryProfileStore runStore_;
    ZelkoraDoc doc_;
    AppSettings& settings_;
    bool requestedInUse_ = false;
    std::chrono::steady_clock::time_point nextSecond_;
};

// Makes `dir` (with a trailing '/') the sequence folder of the run, creating it when
// missing. False when it cannot be made, with the reason in `why` when given.
bool useSequenceFolder(AppSettings& settings, const std::string& dir, std::string* why = nullptr);

}  // namespace tool
