#pragma once

#include "midilib32.h"
#include "postgate.h"

#include <array>
#include <atomic>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace midilib {

// Notes a port has turned on and not yet off, per channel.
using SoundingNotes = std::array<std::bitset<128>, 16>;

// Ticks of a port's clock counted toward its next scheduled event. The
// port looks at the clock at least every few milliseconds while events
// wait; the time since the last look counts when the clock runs at this
// look, at the tempo seen now. So a pause or a tempo change takes effect
// within one look, and a clock that has been closed (no tempo) leaves its
// ticks counting as milliseconds.
struct TickCount {
    double ticks = 0;
    int64_t lastLook = 0; // nanoseconds

    void restart(int64_t now) {
        ticks = 0;
        lastLook = now;
    }
    // True when time counted.
    bool advance(int64_t now, bool running, double millisPerTick) {
        const bool counts = running || millisPerTick <= 0;
        if (counts)
            ticks += (now - lastLook) / 1e6 / (millisPerTick > 0 ? millisPerTick : 1.0);
        lastLook = now;
        return counts;
    }
};

// One output device as the port sees it: it takes complete MIDI messages.
// Calls are serialized by the port; a sink never sees two at once.
class OutSink {
public:
    virtual ~OutSink() = default;
    // Sends one complete message (a system-exclusive one includes F0 and F7).
    // False when the device refused it.
    virtual bool send(const uint8_t* bytes, size_t length) = 0;
    // Silences every note on every channel; `sounding` lists what this port
    // itself turned on, for devices that ignore the channel-mode messages.
    virtual void silence(const SoundingNotes& sounding) = 0;
    // The longest message the device takes in one piece; a longer exclusive
    // message is refused when it is put.
    [[nodiscard]] virtual size_t maxMessage() const { return SIZE_MAX; }
    // Renders audio into the two buffers without a driver. Only a sink opened
    // for offline rendering can; the others return false.
    virtual bool render(float* /*left*/, float* /*right*/, uint32_t /*frames*/) { return false; }
};

// PutMidiOut results (low 16 bits zero means taken).
enum PutResult : uint32_t {
    putTaken = 0,
    putNoPort = 1,
    putBadEvent = 2,
    putQueueFull = 3,
    putDeviceRefused = 4,
    putTooLong = 5, // an exclusive message longer than the device takes
};

// An open output port: sends events at once or schedules them, and tells
// its window when its queue has room.
//
// Time of a scheduled event: a delay after the previous scheduled event of
// the port, in milliseconds, or in ticks of the port's clock when it was
// opened with one. An event put while the previous one lies in the past
// counts its delay from the moment it is put. An offline port counts time
// in rendered audio instead of on the wall clock.
class OutPort : public std::enable_shared_from_this<OutPort> {
public:
    struct Options {
        const MIDILIBWINDOW* window = nullptr; // copied; null for none
        uint32_t sync = 0;                     // clock handle or 0
        bool offline = false;                  // time runs as audio is rendered
        uint32_t capacity = 1024;              // scheduled events held at most
        uint32_t framesPerSecond = 48000;      // offline time base
    };

    OutPort(std::unique_ptr<OutSink> sink, const Options& options);
    ~OutPort();
    OutPort(const OutPort&) = delete;
    OutPort& operator=(const OutPort&) = delete;

    // The handle the port is known by; passed with its notifications.
    void setHandle(uint32_t handle);
    // Tells the window once that the queue has room (right after open).
    void announceReady();

    uint32_t put(const MIDIEVENT& event);
    void reset();
    void flush();
    // Stops the scheduler, drops what waits, silences what this port left
    // sounding and releases the device. Nothing is posted afterwards. Safe
    // from any thread, also from inside the port's own notification (on the
    // caller's thread or the scheduler's).
    void close();
    // Offline ports only: renders `frames` frames, sending scheduled events
    // at their frame. Returns the frames rendered (0 when not offline).
    uint32_t render(float* left, float* right, uint32_t frames);

    [[nodiscard]] size_t queued() const;

private:
    using SteadyClock = std::chrono::steady_clock;
    struct Scheduled {
        MIDIEVENT event;
        int64_t due;    // nanoseconds of SteadyClock, or frames when offline
        uint32_t ticks; // clock ports: ticks after the previous event
    };

    void schedulerLoop();
    // Takes the events that are due off the queue (mutex_ held).
    void takeDueLocked(std::vector<MIDIEVENT>& batch);
    // The room to announce when the window is owed a buffer-ready message
    // (mutex_ held); the caller posts it after letting go of its locks.
    std::optional<uint32_t> readyToTellLocked();
    void post(std::optional<uint32_t> room);
    // Clock ports: counts the ticks passed since the last look while the
    // clock runs (mutex_ held). True when the clock is running.
    bool advanceTicksLocked();
    [[nodiscard]] double millisPerTick() const;
    // Sends one event to the sink (sinkMutex_ held). False when refused.
    bool dispatch(const MIDIEVENT& event);
    void dispatchAll(const std::vector<MIDIEVENT>& batch);
    bool sendBytes(const uint8_t* bytes, size_t length);
    // Sends a complete message and keeps track of the notes it turns on.
    bool sendMessage(const uint8_t* bytes, size_t length);
    bool feedWireByte(uint8_t byte);
    // Follows the exclusive message being put (mutex_ held): false for a
    // byte that makes it, or belongs to one that is, longer than the device
    // takes in one piece.
    bool admitWireByteLocked(uint8_t byte);
    [[nodiscard]] bool clocked() const { return options_.sync != 0 && !options_.offline; }
    static int64_t nowNanos();

    Options options_;
    PostGate gate_;

    // Lock order: sinkMutex_ before mutex_.
    std::mutex sinkMutex_;
    std::unique_ptr<OutSink> sink_;
    SoundingNotes sounding_{};
    std::vector<uint8_t> exclusive_;
    bool inExclusive_ = false;
    bool exclusiveTooLong_ = false;
    uint8_t pending_[3] = {};
    size_t pendingLength_ = 0;
    size_t pendingExpected_ = 0;
    uint8_t runningStatus_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    size_t maxMessage_ = SIZE_MAX;
    size_t putExclusive_ = 0; // bytes put of an exclusive message, 0 for none
    bool putExclusiveRefused_ = false;
    std::deque<Scheduled> queue_;
    int64_t lastDue_ = 0;
    int64_t rendered_ = 0; // offline: frames rendered so far
    TickCount tickCount_;  // clock ports: ticks elapsed toward the head
    bool refused_ = false; // a put was refused for want of room
    std::atomic<bool> closed_{false};
    std::atomic<uint32_t> handle_{0};
    std::thread scheduler_;
    // Set when the scheduler's own thread closes the port: the thread then
    // keeps the port alive until it has left it.
    std::shared_ptr<OutPort> keepAlive_;
};

} // namespace midilib
