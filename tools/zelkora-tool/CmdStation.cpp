// zelkora-tool station: the unattended recorder of a field station, night after night.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/AppSettings.h"
#include "app/RetryDelay.h"
#include "app/StationConfig.h"
#include "app/StationSchedule.h"
#include "platform/FreeSpace.h"
#include "platform/InputFile.h"
#include "platform/LocalClock.h"
#include "platform/MessageSink.h"
#include "platform/StopSignals.h"
#include "platform/qt/QtProfileStore.h"
#include "sequence/JulianTime.h"
#include "sequence/SequenceFolder.h"
#include "tools/zelkora-tool/Command.h"
#include "tools/zelkora-tool/HeadlessRecording.h"
#include "tools/zelkora-tool/StationLog.h"
#include "tools/zelkora-tool/StationPage.h"
#include "tools/zelkora-tool/StationWebServer.h"
#include "tools/zelkora-tool/ToolArgs.h"

namespace {

constexpr const char* kName = "station";
constexpr const char* kUsage =
    "zelkora-tool station [--config FILE] [--now] [--port N] [--gps N] [--dir DIR] [--seconds S]\n"
    "                     [--http [ADDRESS:]PORT]\n"
    "       zelkora-tool station --schedule YYYY-MM-DD --lat LAT --lon LON";
constexpr const char* kHelp =
    "Records in Monitor mode from the DETLINK module every night, unattended: from sunset to\n"
    "sunrise (each moved by an offset) at the station's position, which comes from the GPS\n"
    "fix or from the configuration file. Where the sun does not set or rise, or no position\n"
    "is known, it records between the configuration's fixed hours of the local clock. Dates\n"
    "and hours are those of the machine's time zone (TZ, else /etc/localtime), as the file\n"
    "names are.\n"
    "\n"
    "  --config FILE  the configuration file (key = value lines; see packaging/station.conf)\n"
    "  --now          record at once and without a break, whatever the time\n"
    "  --port N       the module's port (default: config 'port', else the SerialPort setting)\n"
    "  --gps N        poll a GPS receiver on port N (default: config 'gps', else none)\n"
    "  --dir DIR      the folder that holds the nightly folders (default: config 'dir', else\n"
    "                 the sequence folder setting)\n"
    "  --seconds S    end after S seconds (default: run until SIGTERM, SIGINT or SIGHUP)\n"
    "  --http [ADDRESS:]PORT\n"
    "                 serve the station's web page and JSON interface there (default: config\n"
    "                 'http', else none; a port alone is on 127.0.0.1). Any address but the\n"
    "                 loopback needs the config's 'http_token' (16 characters or more)\n"
    "  --schedule YYYY-MM-DD --lat LAT --lon LON\n"
    "                 print the night that begins on that local date and end: a line\n"
    "                 \"sunset=YYYY-MM-DDThh:mm:ssZ\" and one \"sunrise=...Z\" for the next\n"
    "                 morning, in UTC; \"none\" where the sun does not set or rise\n"
    "\n"
    "Each night's files go to a folder named after the evening's local date, YYYY-MM-DD (a\n"
    "night runs from local noon to local noon), inside DIR. The log (DIR/station.log unless\n"
    "the config's 'log' says otherwise) gets a line for every start, stop, file written,\n"
    "fault and change of free space; each line is printed on standard output too. The status\n"
    "file (DIR/station.status, or 'status') holds one line, replaced whole whenever it\n"
    "changes:\n"
    "  state=STATE night=YYYY-MM-DD files=N last=NAME free_mb=N gps=LAT,LON|nofix|lost|off\n"
    "STATE is recording, waiting, disk-low (free space under the config's min_free_mb,\n"
    "default 200: the module is stopped and nothing more is written until space returns),\n"
    "searching (the module is gone: the listed ports are searched again every\n"
    "search_interval seconds, default 60), no-folder (the night's folder cannot be made;\n"
    "tried again as often) or stopped. gps=lost: the receiver's port is gone or cannot be\n"
    "opened, and is tried again every search_interval. SIGTERM ends the station cleanly:\n"
    "the pass being recorded is saved and the module stopped. The exit status is 1 when\n"
    "sequences could not be written or the night's folder could not be made, 2 when the\n"
    "config cannot be read or holds a bad value.\n";

constexpr auto kTick = std::chrono::milliseconds(25);
// Without a position from the config, the GPS gets this long to report one before the
// fixed hours are used.
constexpr int64_t kGpsGraceSeconds = 120;
constexpr uint64_t kMegabyte = 1024 * 1024;
// How far the machine's clock may be off the GPS's before the log and the page say so: more
// than a receiver's sentences lag behind its second.
constexpr int64_t kClockToleranceSeconds = 10;
// A configuration is a page of key = value lines; anything larger is not one.
constexpr size_t kMaxConfigBytes = 1024 * 1024;

int64_t offsetAt(int64_t utc) {
    return platform::localUtcOffsetSecondsAt(utc);
}

int printSchedule(tool::ToolArgs& args) {
    const auto day = station::parseDate(*args.value("--schedule"));
    const auto latitude = args.value("--lat"), longitude = args.value("--lon");
    if (!day) return tool::usageError(kName, "--schedule wants a date YYYY-MM-DD", kUsage);
    if (!latitude || !longitude) {
        return tool::usageError(kName, "--schedule wants --lat and --lon", kUsage);
    }
    char* end = nullptr;
    const double lat = std::strtod(latitude->c_str(), &end);
    const bool latOk = !latitude->empty() && *end == '\0' && std::fabs(lat) <= 90.0;
    const double lon = std::strtod(longitude->c_str(), &end);
    const bool lonOk = !longitude->empty() && *end == '\0' && std::fabs(lon) <= 180.0;
    if (!latOk || !lonOk) {
        return tool::usageError(kName, "--lat wants -90..90 and --lon -180..180 degrees", kUsage);
    }
    const auto night = station::sunNight(*day, {lat, lon}, offsetAt);
    std::printf("sunset=%s\n", night.sunset ? station::utcText(*night.sunset).c_str() : "none");
    std::printf("sunrise=%s\n", night.sunrise ? station::utcText(*night.sunrise).c_str() : "none");
    return tool::kExitOk;
}

// Sequence files already in a folder (a station restarted during the night counts on).
int32_t sequenceFilesIn(const std::string& folder) {
    SequenceFolder list;
    return list.scan(folder) < 0 ? 0 : static_cast<int32_t>(list.names().size());
}

// How the log says when a lost device is looked for again: "every N s", and how it begins
// where that differs.
std::string retryText(int64_t interval) {
    return "every " + std::to_string(interval) + " s" +
           (interval > RetryDelay::kFirst ? " (at first after 2 s, then twice as long each time)"
                                          : "");
}

class Station {
  public:
    enum class State { Waiting, Recording, DiskLow, Searching, NoFolder, Stopped };

    Station(AppSettings& settings, const StationConfig& config, std::string base, bool now,
            tool::StationLog& log, tool::StatusFile& status)
        : settings_(settings),
          config_(config),
          base_(std::move(base)),
          now_(now),
          log_(log),
          status_(status),
          recording_(settings, {}) {
        recording_.doc().setRemakeMissingFolder(true);
    }

    // The web page's board: the station publishes its state and the live dots there and
    // takes the page's controls from it.
    void attachWeb(tool::web::Board* board) { web_ = board; }

    void connectGps(int32_t port, int32_t baud) {
        gpsConfigured_ = true;
        gpsPort_ = port;
        gpsBaud_ = baud;
        tryGps(tool::utcNowSeconds());
    }

    // Runs until a stop signal or `seconds` (0: no end). The exit status.
    int run(int64_t seconds) {
        const auto begin = std::chrono::steady_clock::now();
        started_ = tool::utcNowSeconds();
        auto nextCheck = begin;
        while (!platform::stopSignalReceived()) {
            const auto t = std::chrono::steady_clock::now();
            if (seconds > 0 && t - begin >= std::chrono::seconds(seconds)) break;
            recording_.tick([this](const std::string& name) { noteSaved(name); }, dotTaker());
            if (web_) {
                web_->offerDots(liveDots_);
                liveDots_.clear();
                if (const auto c = web_->takeControl(); c != tool::web::Control::None) {
                    takeControl(c);
                    nextCheck = t;
                }
            }
            if (t >= nextCheck) {
                check();
                nextCheck = t + std::chrono::seconds(1);
            }
            std::this_thread::sleep_for(kTick);
        }
        if (state_ == State::Recording) stopRecording("stop: the station ends");
        const bool folderMissing = state_ == State::NoFolder;
        state_ = State::Stopped;
        writeStatus();
        if (const int32_t unsaved = recording_.unsavedCount(); unsaved > 0) {
            log_.line("fault: " + std::to_string(unsaved) + " sequence" +
                      (unsaved == 1 ? "" : "s") + " could not be written");
            return tool::kExitFailure;
        }
        if (folderMissing) {
            log_.line("station ended without a folder to record into");
            return tool::kExitFailure;
        }
        log_.line("station ended");
        return tool::kExitOk;
    }

  private:
    // Once a second: where the station is, what the schedule and the disk allow, and
    // whether the module still answers.
    void check() {
        const int64_t t = tool::utcNowSeconds();
        updatePosition(t);
        free_ = platform::freeBytes(base_);
        const bool low = free_ && *free_ < config_.minFreeBytes;

        bool wanted = true;
        int64_t night = station::eveningDayAt(t, offsetAt);
        int64_t until = 0;
        if (!now_) {
            if (!position_ && gpsConfigured_ && t - started_ < kGpsGraceSeconds) {
                wanted = false;  // a moment more for the GPS to report where the station is
                until = started_ + kGpsGraceSeconds;
            } else {
                const station::Decision d = station::decide(t, position_, config_.plan, offsetAt);
                wanted = d.record;
                night = d.night.localDay;
                until = d.until;
                noteNight(d.night);
                tonight_ = d.night;
            }
        }
        if (control_ == tool::web::Control::Record) wanted = true;
        if (control_ == tool::web::Control::Stop) wanted = false;
        night_ = station::dateText(night);
        // Recording at once, the page still shows the night's sunset and sunrise.
        if (now_ && web_) {
            tonight_ = station::nightOf(night, position_, config_.plan, offsetAt);
        }

        if (state_ == State::Recording) {
            if (recording_.moduleFailed()) {
                recording_.stop([this](const std::string& name) { noteSaved(name); });
                recording_.describeFailure(
                    [this](const std::string& line) { log_.line("fault: " + line); });
                enterSearching(t);
            } else if (!wanted) {
                stopRecording(control_ == tool::web::Control::Stop
                                  ? "stop: stopped from the web page"
                                  : "stop: the night is over; next start " +
                                        station::utcText(until));
                state_ = State::Waiting;
                waitingUntil_ = until;
            } else if (low) {
                stopRecording("stop: free space " + megabytes(*free_) + " MB is under " +
                              megabytes(config_.minFreeBytes) +
                              " MB; saving stops until space returns");
                state_ = State::DiskLow;
            } else if (night_ != folderNight_) {
                stopRecording("stop: the night of " + folderNight_ + " is over");
                startRecording(t);
            }
        } else if (!wanted) {
            if (control_ == tool::web::Control::Stop) {
                state_ = State::Waiting;  // said by takeControl
            } else if (state_ != State::Waiting || until != waitingUntil_) {
                log_.line((position_ || !gpsConfigured_ || now_ ? "waiting until "
                                                                : "waiting for a GPS fix until ") +
                          station::utcText(until));
                state_ = State::Waiting;
                waitingUntil_ = until;
            }
        } else if (low) {
            if (state_ != State::DiskLow) {
                log_.line("free space " + megabytes(free_.value_or(0)) + " MB is under " +
                          megabytes(config_.minFreeBytes) + " MB; not recording");
                state_ = State::DiskLow;
            }
        } else if ((state_ != State::Searching && state_ != State::NoFolder) || t >= nextSearch_) {
            if (state_ == State::DiskLow) {
                log_.line("free space " + megabytes(free_.value_or(0)) + " MB: saving resumes");
            }
            startRecording(t);
        }
        writeStatus();
    }

    void startRecording(int64_t t) {
        const std::string folder = base_ + night_ + "/";
        std::string whyNot;
        if (!tool::useSequenceFolder(settings_, folder, &whyNot)) {
            // Not the module's fault: said once, and tried again as often as the module is.
            if (state_ != State::NoFolder) {
                log_.line("fault: cannot create the folder " + folder + ": " + whyNot +
                          "; tried again every " + std::to_string(config_.searchIntervalSeconds) +
                          " s");
            }
            state_ = State::NoFolder;
            nextSearch_ = t + config_.searchIntervalSeconds;
            return;
        }
        recording_.doc().ScanFolder();
        // A new start empties the recorder; say so when sequences were still waiting to be
        // written (a disk that filled faster than the watchdog looked).
        if (const int32_t unsaved = recording_.unsavedCount(); unsaved > 0) {
            log_.line("fault: " + std::to_string(unsaved) + " sequence" +
                      (unsaved == 1 ? "" : "s") + " could not be written");
        }
        std::string why;
        if (!recording_.start(true, why)) {
            if (state_ != State::Searching) log_.line("fault: " + why);
            enterSearching(t);
            return;
        }
        moduleRetry_.reset();
        folderNight_ = night_;
        filesTonight_ = sequenceFilesIn(folder);
        log_.line("start: recording on port " + std::to_string(settings_.SerialPort) + " into " +
                  folder + "; free space " + megabytes(free_.value_or(0)) + " MB");
        state_ = State::Recording;
    }

    void stopRecording(const std::string& why) {
        recording_.stop([this](const std::string& name) { noteSaved(name); });
        log_.line(why);
    }

    void enterSearching(int64_t t) {
        if (state_ != State::Searching) {
            log_.line("searching for the module " + retryText(config_.searchIntervalSeconds));
        }
        state_ = State::Searching;
        nextSearch_ = t + moduleRetry_.next(config_.searchIntervalSeconds);
    }

    void noteSaved(const std::string& name) {
        ++filesTonight_;
        lastFile_ = name;
        lastFileAt_ = tool::utcNowSeconds();
        log_.line("saved " + folderNight_ + "/" + name);
    }

    // A receiver plugged in after the station started (or late to appear on its port) is
    // tried again as the module is, rather than leaving the night to the fixed hours.
    void tryGps(int64_t t) {
        std::string why;
        gpsConnected_ = recording_.connectGps(gpsPort_, gpsBaud_, why);
        if (gpsConnected_) {
            log_.line("GPS on port " + std::to_string(gpsPort_) + (gpsLost_ ? " again" : ""));
            gpsLost_ = false;
            gpsRetry_.reset();
            return;
        }
        if (!gpsFaultLogged_) {
            log_.line("fault: " + why + "; tried again " +
                      retryText(config_.searchIntervalSeconds));
            gpsFaultLogged_ = true;
        }
        nextGpsTry_ = t + gpsRetry_.next(config_.searchIntervalSeconds);
    }

    void updatePosition(int64_t t) {
        if (!gpsConfigured_) {
            position_ = config_.position;
            return;
        }
        // A receiver unplugged in the night is noticed as the module is, and looked for again
        // as often.
        if (gpsConnected_ && recording_.gpsLost()) {
            gpsConnected_ = false;
            gpsLost_ = true;
            gpsFaultLogged_ = true;  // the line below says it all
            log_.line("fault: the GPS on port " + std::to_string(gpsPort_) +
                      " has gone; tried again " + retryText(config_.searchIntervalSeconds));
            nextGpsTry_ = t + gpsRetry_.next(config_.searchIntervalSeconds);
        }
        if (!gpsConnected_ && t >= nextGpsTry_) tryGps(t);
        double lat = 0, lon = 0, alt = 0;
        gpsFix_ = gpsConnected_ && recording_.doc().gps().link().GetPosition(lat, lon, alt) > 0;
        if (gpsFix_) {
            if (!gpsPosition_) {
                log_.line("position from the GPS: " + degrees(lat) + "," + degrees(lon));
            }
            gpsPosition_ = station::Position{lat, lon};
            gpsLatitude_ = lat;
            gpsLongitude_ = lon;
        }
        // The last fix of this run stands in while the receiver has none.
        position_ = gpsPosition_ ? gpsPosition_ : config_.position;
        JulianTime offset;
        if (gpsFix_ && recording_.doc().gps().link().GetClockOffset(offset)) {
            noteClock(offset.value() / JulianTime::kSecond);
        }
    }

    // A board without a battery for its clock starts with whatever the clock last read, and
    // in the field no network puts it right: every file would be named and timed wrong, and
    // the night's hours reckoned for another day. The GPS is the clock to trust there; the
    // station says when the machine's is off it, and when it agrees again.
    void noteClock(int64_t aheadSeconds) {
        clockAheadSeconds_ = aheadSeconds;
        // Said again only well within the tolerance, so a clock near its edge is not said
        // every other second.
        const int64_t limit = clockOffLogged_ ? kClockToleranceSeconds / 2 : kClockToleranceSeconds;
        const bool off = std::llabs(aheadSeconds) > limit;
        if (off == clockOffLogged_) return;
        clockOffLogged_ = off;
        log_.line(off ? "fault: the machine's clock is " + durationText(std::llabs(aheadSeconds)) +
                            (aheadSeconds > 0 ? " ahead of" : " behind") +
                            " the GPS's: the files' names and times and the night's hours "
                            "follow the machine's clock; set it (timedatectl set-time, or Set "
                            "Clock in the window's GPS menu)"
                      : "the machine's clock agrees with the GPS's");
    }

    static std::string durationText(int64_t s) {
        const int64_t days = s / 86400, hours = s / 3600 % 24, minutes = s / 60 % 60;
        std::string text;
        if (days > 0) text += std::to_string(days) + " d ";
        if (days > 0 || hours > 0) text += std::to_string(hours) + " h ";
        if (days > 0 || hours > 0 || minutes > 0) text += std::to_string(minutes) + " min ";
        return text + std::to_string(s % 60) + " s";
    }

    // Says once per night when it runs and by what.
    void noteNight(const station::Night& night) {
        if (night.localDay == loggedNight_ && night.fixedHours == loggedFixed_) return;
        loggedNight_ = night.localDay;
        loggedFixed_ = night.fixedHours;
        auto sun = [](const std::optional<int64_t>& t) {
            return t ? station::utcText(*t) : std::string("none");
        };
        std::string text = "night of " + station::dateText(night.localDay) + ": ";
        if (position_) {
            text += "sunset=" + sun(night.sun.sunset) + " sunrise=" + sun(night.sun.sunrise) + "; ";
        } else {
            text += "no position; ";
        }
        text += std::string(night.fixedHours ? "fixed hours " : "recording ") +
                station::utcText(night.start) + " to " + station::utcText(night.stop);
        log_.line(text);
    }

    void writeStatus() {
        static constexpr const char* kStates[] = {"waiting",   "recording", "disk-low",
                                                  "searching", "no-folder", "stopped"};
        std::string gps = "off";
        if (gpsConfigured_) {
            gps = !gpsConnected_ ? "lost"
                  : gpsFix_      ? degrees(gpsLatitude_) + "," + degrees(gpsLongitude_)
                                 : "nofix";
        }
        std::string error;
        const bool written =
            status_.write(std::string("state=") + kStates[static_cast<int>(state_)] +
                              " night=" + night_ + " files=" + std::to_string(filesTonight_) +
                              " last=" + (lastFile_.empty() ? "-" : lastFile_) +
                              " free_mb=" + (free_ ? megabytes(*free_) : "?") + " gps=" + gps,
                          error);
        // Said once for a run of failures; the line is tried again at every change.
        if (!written && !statusFaultLogged_) log_.line("fault: " + error);
        statusFaultLogged_ = !written;
        if (web_) publishWeb(kStates[static_cast<int>(state_)], gps);
    }

    // --- the web page ---

    // Takes the display points of a tick for the live view: each dot at its place on the
    // recorder's dot clock (the sum of the intervals so far).
    std::function<void(const acquisition::DotPoint&)> dotTaker() {
        if (!web_) return {};
        return [this](const acquisition::DotPoint& p) {
            dotClockUs_ += p.value;
            if (p.frequency > 0) liveDots_.push_back({dotClockUs_, p.frequency});
        };
    }

    void takeControl(tool::web::Control c) {
        static constexpr const char* kSaid[] = {"", "record now", "stop", "back to the schedule"};
        log_.line(std::string("control from the web page: ") + kSaid[static_cast<int>(c)]);
        control_ = c == tool::web::Control::Schedule ? tool::web::Control::None : c;
    }

    void publishWeb(const char* state, const std::string& gps) {
        tool::web::Snapshot s;
        s.state =
            control_ == tool::web::Control::Stop && state_ == State::Waiting ? "stopped" : state;
        s.control = control_ == tool::web::Control::Record ? "record"
                    : control_ == tool::web::Control::Stop ? "stop"
                                                           : "schedule";
        s.night = night_;
        s.files = filesTonight_;
        s.last = lastFile_;
        s.lastAt = lastFileAt_;
        if (free_) s.freeMb = *free_ / kMegabyte;
        s.gps = gps;
        if (tonight_) {
            s.sunset = tonight_->sun.sunset;
            s.sunrise = tonight_->sun.sunrise;
            if (!now_) {
                s.windowStart = tonight_->start;
                s.windowStop = tonight_->stop;
            }
        }
        s.modulePort = settings_.SerialPort;
        s.startedAt = started_;
        if (gpsFix_) s.clockAheadSeconds = clockAheadSeconds_;
        web_->publish(s);
    }

    static std::string megabytes(uint64_t bytes) { return std::to_string(bytes / kMegabyte); }
    static std::string degrees(double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.5f", v);
        return text;
    }

    AppSettings& settings_;
    const StationConfig& config_;
    std::string base_;
    bool now_;
    tool::StationLog& log_;
    tool::StatusFile& status_;
    tool::HeadlessRecording recording_;

    State state_ = State::Stopped;
    int64_t started_ = 0;
    int64_t nextSearch_ = 0;
    RetryDelay moduleRetry_;
    int64_t waitingUntil_ = 0;
    std::string night_;        // the night the station is in
    std::string folderNight_;  // the night whose folder the recording writes into
    int32_t filesTonight_ = 0;
    std::string lastFile_;
    std::optional<uint64_t> free_;
    bool gpsConfigured_ = false;
    bool gpsConnected_ = false;
    bool gpsFaultLogged_ = false;
    bool gpsLost_ = false;
    bool statusFaultLogged_ = false;
    int32_t gpsPort_ = 0, gpsBaud_ = 0;
    int64_t nextGpsTry_ = 0;
    RetryDelay gpsRetry_;
    bool gpsFix_ = false;
    double gpsLatitude_ = 0, gpsLongitude_ = 0;
    std::optional<int64_t> clockAheadSeconds_;  // the machine's clock against the GPS's
    bool clockOffLogged_ = false;
    std::optional<station::Position> gpsPosition_;
    std::optional<station::Position> position_;
    int64_t loggedNight_ = INT64_MIN;
    bool loggedFixed_ = false;

    tool::web::Board* web_ = nullptr;
    tool::web::Control control_ = tool::web::Control::None;  // Record or Stop by hand
    std::optional<station::Night> tonight_;
    int64_t lastFileAt_ = 0;
    int64_t dotClockUs_ = 0;
    std::vector<tool::web::LiveDot> liveDots_;
};

// The web page and what it needs, alive while the station runs.
struct WebSide {
    tool::web::Board board;
    tool::web::StationFiles files;
    tool::web::Router router;
    tool::web::StationWebServer server;

    WebSide(const AppSettings& s, const std::string& base, const std::string& token,
            uint64_t minFreeBytes)
        : files({s.Z, s.Fmin, s.Fmax}, base + ".pictures/", minFreeBytes),
          router(board, files, base, token, tool::web::kStationPage, tool::web::kLoginPage),
          server(router, board) {}
};

// Starts the web page on `address` unless its rules forbid it; the station records either way.
std::unique_ptr<WebSide> startWeb(const tool::web::ListenAddress& address,
                                  const StationConfig& config, const AppSettings& settings,
                                  const std::string& base, tool::StationLog& log) {
    const std::string where = address.host + ":" + std::to_string(address.port);
    const std::string token = config.httpToken.value_or("");
    auto refuse = [&](const std::string& why) {
        const std::string text = "fault: the web page is not served on " + where + ": " + why;
        std::fprintf(stderr, "zelkora-tool station: %s\n", text.c_str());
        log.line(text);
        return nullptr;
    };
    if (!token.empty() && token.size() < tool::web::kMinTokenLength) {
        return refuse("http_token is shorter than 16 characters");
    }
    if (!address.loopback && token.empty()) {
        return refuse(
            "an address other than the loopback needs http_token (16 characters or "
            "more) in the config");
    }
    auto web = std::make_unique<WebSide>(settings, base, token, config.minFreeBytes);
    std::string why;
    if (!web->server.start(address, why)) return refuse(why);
    log.setListener([board = &web->board](const std::string& line) { board->addLogLine(line); });
    log.line(
        "web page on http://" +
        (address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host) +
        ":" + std::to_string(address.port) + "/" + (token.empty() ? "" : " (token needed)"));
    return web;
}

int run(const std::vector<std::string>& argv) {
    tool::ToolArgs args({"--config", "--port", "--gps", "--dir", "--seconds", "--schedule", "--lat",
                         "--lon", "--http"},
                        {"--now"});
    if (const auto done = tool::parseOptionsOnly(args, argv, kName, kUsage, kHelp)) return *done;
    if (args.has("--schedule")) return printSchedule(args);
    if (args.has("--lat") || args.has("--lon")) {
        return tool::usageError(kName, "--lat and --lon go with --schedule", kUsage);
    }
    const auto port = args.integer("--port", 0, 1, 9999);
    const auto seconds = args.integer("--seconds", 0, 0, 100000000);
    const auto gpsPort = args.integer("--gps", 0, 1, 9999);
    if (!port || !seconds || !gpsPort) return tool::usageError(kName, args.error(), kUsage);
    const auto httpOption = args.value("--http");
    if (httpOption && !tool::web::parseListenAddress(*httpOption)) {
        return tool::usageError(kName, "--http wants [ADDRESS:]PORT", kUsage);
    }

    StationConfig config;
    if (const auto path = args.value("--config")) {
        std::vector<uint8_t> bytes;
        if (!platform::readRegularFile(*path, kMaxConfigBytes + 1, bytes)) {
            std::fprintf(stderr, "Cannot open file %s\n", path->c_str());
            return tool::kExitBadFile;
        }
        if (bytes.size() > kMaxConfigBytes) {
            std::fprintf(stderr, "zelkora-tool station: %s is larger than 1 MiB; refused\n",
                         path->c_str());
            return tool::kExitBadFile;
        }
        const std::string text(bytes.begin(), bytes.end());
        std::string error;
        if (!parseStationConfig(text, config, error)) {
            std::fprintf(stderr, "zelkora-tool station: %s: %s\n", path->c_str(), error.c_str());
            // As for a config that cannot be read: the service is not restarted for it, since
            // running again would only say the same thing every few seconds all night.
            return tool::kExitBadFile;
        }
    }

    AppSettings& settings = appSettings();
    {
        platform::QtProfileStore store;
        settings.load(store);
    }
    if (args.has("--port")) {
        settings.SerialPort = static_cast<int32_t>(*port);
    } else if (config.port) {
        settings.SerialPort = *config.port;
    }
    std::string base = args.value("--dir").value_or(config.dir.value_or(settings.GPath));
    if (!tool::useSequenceFolder(settings, base)) {
        std::fprintf(stderr, "zelkora-tool station: cannot create the folder %s\n",
                     settings.GPath.c_str());
        return tool::kExitFailure;
    }
    base = settings.GPath;

    platform::installStopSignalHandlers();
    tool::StationLog log;
    const std::string logPath = config.logPath.value_or(base + "station.log");
    std::string logFault;
    const bool logOpen = log.open(logPath, logFault);
    tool::StatusFile status(config.statusPath.value_or(base + "station.status"));
    log.line("station starts: folder " + base + (args.has("--now") ? ", recording now" : ""));
    if (!logOpen) log.line("fault: cannot write the log " + logPath + ": " + logFault);

    // What the recorder reports by itself (a sequence that cannot be written, a full disk)
    // is a fault of the night, with its time, in the log.
    platform::setMessageHandler([&log](const std::string& text, platform::MessageIcon icon) {
        log.line(icon == platform::MessageIcon::Information ? text : "fault: " + text);
    });
    Station station(settings, config, base, args.has("--now"), log, status);
    std::unique_ptr<WebSide> web;
    if (const auto http = httpOption ? httpOption : config.http) {
        if (const auto address = tool::web::parseListenAddress(*http)) {
            web = startWeb(*address, config, settings, base, log);
        } else {
            log.line("fault: the web page is not served: http wants [ADDRESS:]PORT, not " + *http);
        }
        if (web) station.attachWeb(&web->board);
    }
    const std::optional<int32_t> gps =
        args.has("--gps") ? std::optional<int32_t>(static_cast<int32_t>(*gpsPort)) : config.gps;
    if (gps) station.connectGps(*gps, config.gpsBaud.value_or(settings.GPSbaudrate));
    const int exitStatus = station.run(*seconds);
    platform::setMessageHandler({});
    if (web) {
        log.setListener({});
        web->server.stop();
    }
    return exitStatus;
}

const tool::CommandRegistration registration{
    {kName, "record every night unattended, from sunset to sunrise (a field station)", &run}};

}  // namespace
