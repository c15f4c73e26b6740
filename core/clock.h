#pragma once

#include <cstdint>

// The drill's millisecond time base. Playback waits block the caller until
// the clock reaches a target; tests inject a clock whose waits take no time.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the program started (signed 32-bit, as stored).
    [[nodiscard]] virtual int32_t now() const = 0;
    // Returns once now() is no longer below target; never earlier.
    virtual void waitUntil(int32_t target) = 0;
    // Returns after at least `milliseconds` from the call.
    virtual void wait(int32_t milliseconds) { waitUntil(now() + milliseconds); }
};

// Monotonic clock read as milliseconds since the first use in this process.
// Its waits sleep to the deadline instead of spinning a core, then read the
// clock to confirm it has passed.
class SystemClock final : public Clock {
public:
    [[nodiscard]] int32_t now() const override;
    void waitUntil(int32_t target) override;
    // Measured from the exact moment of the call, not from the start of the
    // current millisecond, so a wait never ends early.
    void wait(int32_t milliseconds) override;
    // The one clock the program runs on.
    static SystemClock& instance();
};
