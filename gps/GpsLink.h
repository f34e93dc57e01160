#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "gps/GpsPoll.h"
#include "gps/GpsReceiver.h"
#include "sequence/JulianTime.h"

namespace acquisition {
class CommFile;
}

// The one GPS connection: a receiver on a serial port of its own, drained on the user
// interface thread by the document's once-a-second poll, with a track file "GPS.zlg" in the
// data folder that gets one 32-byte record per accepted GGA sentence.
class GpsLink : public GpsPositionSource {
  public:
    static constexpr const char* kTrackFileName = "GPS.zlg";
    static constexpr const char* kConnectingHeading = "Connecting to GPS";
    static constexpr const char* kConnectionFailed = "Connection Failed";
    static constexpr const char* kOpenFailedMessage =
        "Failed to open ZLG file\nNo GPS file will be saved";
    static constexpr const char* kWriteFailedMessage = "GPS file write failed\nCheck memory/disk";
    static constexpr const char* kNewFileQuestion =
        "You are about to start a new file\n for the GPS data\n\nAre you sure you want to do "
        "this?";
    // When "GPS.zlg" cannot be moved to any numbered name: the old track file stays in use.
    static constexpr const char* kNewFileFailedMessage =
        "Failed to start a new ZLG file\nGPS data is added to the old file";
    // Numbered names GPS0001.zlg .. GPS9999.zlg.
    static constexpr int32_t kMaxTrackFileNumber = 9999;
    // Bytes one Drain parses at most: more than a second of 115200 baud, so a real receiver
    // is always caught up, while a port that never runs dry cannot hold the window; the
    // rest waits in the port for the next poll.
    static constexpr int32_t kMaxDrainBytes = 16384;

    // The modeless "Connecting to GPS" window, or nothing when none is shown.
    class ConnectionProgress {
      public:
        virtual ~ConnectionProgress() = default;
        virtual void show(const std::string& heading, const std::string& status) = 0;
        virtual void setStatus(const std::string& status) = 0;
        virtual void close() = 0;
    };

    GpsLink();
    // A link over a given port object (tests give one they can observe).
    explicit GpsLink(std::unique_ptr<acquisition::CommFile> port);
    ~GpsLink() override;
    GpsLink(const GpsLink&) = delete;
    GpsLink& operator=(const GpsLink&) = delete;

    void LoadSettings();
    void ApplySettings(int32_t port, int32_t baud);
    bool Connect(ConnectionProgress* progress = nullptr);
    void Disconnect();
    // Reads and parses what is waiting on the port (kMaxDrainBytes at most): true if a GGA
    // sentence was accepted.
    bool Drain() override;
    // Parses one received byte and logs what it brought; what Drain does per byte.
    int32_t FeedByte(uint8_t byte);
    // The fix class: 0 none, 1 2D, 3 2D differential, 5 3D, 7 3D differential.
    int32_t GetPosition(double& latitude, double& longitude, double& altitude) const override;
    void OpenTrackFile();
    void WriteRecord();
    // Moves "GPS.zlg" to the first free "GPSnnnn.zlg" and starts an empty one. False (after
    // the message) when no numbered name could be taken; logging then goes on in the old file.
    bool NewTrackFile();
    // Device clock (in UTC) minus GPS UTC at the last fix.
    bool GetClockOffset(JulianTime& offset) override;
    // The offset for a fix: the GGA time placed on the RMC date (a day on or back when one
    // of the two has passed midnight and the other not), against the device clock in UTC
    // read when the GGA arrived.
    static bool ComputeClockOffset(const GpsFix& fix, uint32_t validity, JulianTime& offset);
    // The receiver's date as it must be now. The two digits of an RMC year are read as
    // 2000-2099; a receiver whose week count has wrapped (every 1024 weeks) reports a date
    // 19.6 years (or twice that) back, which a 1980s year of two digits turns into the 2080s.
    // Such dates are carried forward by whole wraps to 2026 or later; the clock set from them
    // would otherwise be years wrong, and every file named by it.
    static JulianTime ReceiverDateUnwrapped(JulianTime rmcDateTime);

    bool IsPortOpen() const override { return portOpen_; }
    // The receiver's port hung up for good (a receiver unplugged), as the module's line is
    // judged (CommFile::lineLost). Only polls notice it.
    bool LineLost() const;
    // The last Connect failed because another program holds the port.
    bool PortInUse() const;
    uint32_t GetValidity() const { return receiver_.validity(); }
    bool isEnabled() const { return enabled_; }
    bool logOk() const { return logOk_; }
    int32_t portNumber() const { return portNumber_; }
    int32_t baudRate() const { return baudRate_; }
    const std::string& logPath() const { return logPath_; }
    JulianTime logTime() const { return logTime_; }

    const GpsReceiver& receiver() const { return receiver_; }
    GpsReceiver& receiver() { return receiver_; }
    std::recursive_mutex& mutex() { return mutex_; }

    // Called with the current fix after every non-zero receiver result (the map's
    // UpdateStatus), under the mutex.
    void setFixObserver(std::function<void(const GpsFix&)> observer) {
        fixObserver_ = std::move(observer);
    }
    // Makes sure the data folder exists (a missing folder other than the default falls back
    // to the default, which is created); false when no folder can be had. Replaceable so the
    // document can use its own folder rules.
    void setFolderCheck(std::function<bool()> check) { folderCheck_ = std::move(check); }

    static std::string NumberedTrackFileName(const std::string& folder, int32_t n);
    // A track file cut off in the middle of a record (a power cut while it was written) is
    // cut back to its whole records, the original first kept under this suffix (once: a copy
    // already there is not replaced), and the user told.
    static constexpr const char* kTornSuffix = ".torn";
    static constexpr const char* kTornMessage =
        "The GPS file ended in a torn record; it was cut back to its whole records";

  private:
    static bool DefaultFolderCheck();
    // Opens the track file for appending; on failure checks the folder once and retries.
    // False after the failure message.
    bool OpenForAppend(std::FILE*& file);
    void RepairTornTail();

    JulianTime logTime_;
    GpsReceiver receiver_;
    mutable std::recursive_mutex mutex_;
    std::string logPath_;
    bool enabled_ = false;
    bool portOpen_ = false;
    bool logOk_ = false;
    int32_t portNumber_ = 8;
    std::array<uint8_t, 32> record_{};
    int32_t baudRate_ = 0;
    std::unique_ptr<acquisition::CommFile> port_;
    std::function<void(const GpsFix&)> fixObserver_;
    std::function<bool()> folderCheck_;
};
