#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "acquisition/SimulatedNight.h"

namespace acquisition {

struct ModuleSimulatorOptions {
    NightOptions night;
    int32_t baud = 115200;       // 10 bits a byte on the line (8-N-1)
    int32_t bufferBytes = 4096;  // the module's send buffer
    // Streaming seconds (in µs) between overflows put in on purpose (0: none).
    int64_t overflowEveryUs = 0;
    // After this much streaming (µs) the module sends nothing at all any more (< 0: never).
    int64_t silentAfterUs = -1;
    // Streaming time (µs) between markers, and between messages (0: none).
    int64_t markerEveryUs = 0;
    int64_t messageEveryUs = 0;
    std::string messageText = "DETLINK simulator";
};

// What the module did, reported when it has happened on the line.
enum class ModuleEventKind {
    StreamStarted,  // 'G': the next interval counts from here
    Interval,       // an interval went out whole
    Overflow,       // the overflow escape went out; the module waits for 'G'
    Marker,         // a marker went out
    Message,        // a message went out
    StreamStopped,  // 'g'
    HostGone,       // the host closed the port; streaming stopped
    VersionReply,   // the 7-byte reply to 'v' went out
};

struct ModuleEvent {
    ModuleEventKind kind = ModuleEventKind::Interval;
    // On the module's clock (µs): for an interval the zero crossing that ends it; for an
    // overflow the moment data began to be lost; otherwise when it happened.
    int64_t timeUs = 0;
    // An interval's length (µs); for an overflow the zero crossings lost before the module
    // stopped measuring.
    int64_t value = 0;
    std::string text;  // a message's text
};

// One line of the simulator's log for `event`: a letter, the time on the local clock in
// microseconds since 1970-01-01 00:00 (the module's clock plus `clockOffsetUs`, the local
// time of module time 0), and for some events a value:
//   S <time>             'G': streaming starts, the next interval counts from here
//   I <time> <interval>  an interval went out; <time> is the zero crossing that ends it
//   O <time> <lost>      overflow escape sent: data lost from <time> on (<lost> crossings),
//                        and the module measures nothing until the next S
//   M <time>             marker sent
//   T <time> <text>      message sent
//   E <time>             'g': streaming stopped
//   H <time>             the host closed the port: streaming stopped
//   V <time>             version reply sent
std::string moduleLogLine(const ModuleEvent& event, int64_t clockOffsetUs);

// A model of the DETLINK module with a simulated night behind it, driven by an outside clock
// (microseconds on the module's clock, never going back) so that it runs the same in a test
// as on a pseudo-terminal.
//
// Commands: 'v' queues the 7-byte version reply; 'G' starts streaming; 'g' stops it (what is
// waiting in the send buffer is dropped, except the rest of a value already begun on the
// line); other bytes are ignored. The first interval after 'G' counts from the 'G'.
//
// The line carries 10 bits a byte at the baud rate, and never sends a byte before the event
// it belongs to happened. What the line cannot take at once waits in a send buffer; when a
// value no longer fits (the data comes faster than the line, or the host stops reading and
// the pseudo-terminal fills) the module drops data from then on, and as soon as the buffer
// has room again it sends the overflow escape after what it holds and stops measuring until
// the next 'G' (the recorder drains, then sends 'G'). The simulated night only runs on while
// the module measures, so a seed gives the same intervals for the same streaming time.
class ModuleSimulator {
  public:
    using EventSink = std::function<void(const ModuleEvent&)>;
    static constexpr std::array<uint8_t, 7> kVersionReply{'V', 'S', 'I', 'M', '1', '.', '0'};

    enum class State {
        Idle,         // before 'G', after 'g'
        Streaming,    // measuring and sending
        Overflowing,  // measuring, dropping what no longer fits, escape not yet queued
        Halted,       // escape queued after an overflow: waiting for 'G'
    };

    ModuleSimulator(const ModuleSimulatorOptions& options, EventSink sink);

    // A command byte from the host, received at `nowUs`.
    void receive(uint8_t command, int64_t nowUs);

    // Runs the module up to `nowUs`: the night's zero crossings, the injected events.
    void advance(int64_t nowUs);

    // The bytes the line has sent by `nowUs` that the host has not yet taken; hand them to
    // the host and report with consumed() how many it took. The span is valid until the next
    // call on this object.
    std::span<const uint8_t> lineBytes(int64_t nowUs);

    // The host took the first `count` bytes of the last lineBytes() answer (fewer than
    // offered: its buffer is full).
    void consumed(size_t count, int64_t nowUs);

    // The host closed the port: streaming stops and what waits in the buffer is dropped.
    void hostGone(int64_t nowUs);

    State state() const { return state_; }
    bool silent() const { return silent_; }
    // True while the module measures or has bytes to send (the driver then wakes often).
    bool busy() const;
    size_t bufferedBytes() const { return bytes_.size() - head_; }
    // Streaming time so far (µs): the night's own clock.
    int64_t sceneTimeUs(int64_t nowUs) const;
    // The module time (µs) of the next zero crossing or put-in event while the module
    // measures, so that a driver can hand the first byte of a burst over the moment it is
    // due; INT64_MAX when nothing is coming.
    int64_t nextEventUs();

  private:
    struct Item {
        ModuleEventKind kind;
        int64_t timeUs;
        int64_t value;
        std::string text;
        size_t size;       // bytes on the line
        size_t remaining;  // of those, not yet taken by the host
        bool streamData;   // dropped by 'g'
    };

    static Item item(ModuleEventKind kind, int64_t timeUs, size_t size, bool streamData,
                     int64_t value = 0);
    bool enqueue(Item queued, const std::vector<uint8_t>& bytes, bool mayOverflow);
    void beginOverflow(int64_t timeUs, int64_t lost);
    void freezeScene(int64_t nowUs);
    void completeFrontItems();
    int64_t bitsAt(int64_t timeUs) const;

    ModuleSimulatorOptions options_;
    EventSink sink_;
    SimulatedNight night_;
    State state_ = State::Idle;
    bool silent_ = false;

    // Scene time: the night's clock, running only while the module measures.
    int64_t streamStartUs_ = 0;   // module time of the latest 'G'
    int64_t sceneAtStartUs_ = 0;  // scene time then
    int64_t sceneFrozenUs_ = 0;   // scene time when measuring last stopped
    int64_t lastCrossingUs_ = 0;  // module time of the last crossing measured
    int64_t nextOverflowUs_ = 0;  // scene times of the next injected events
    int64_t nextMarkerUs_ = 0;
    int64_t nextMessageUs_ = 0;
    int64_t overflowSinceUs_ = 0;
    int64_t lost_ = 0;

    // The send buffer: bytes from head_ on, item by item.
    std::vector<uint8_t> bytes_;
    size_t head_ = 0;
    std::deque<Item> items_;
    std::vector<uint8_t> scratch_;

    // The line: bit time at which it has finished the last byte taken.
    int64_t lineFreeAtBits_ = 0;
    size_t offered_ = 0;
};

}  // namespace acquisition
