#pragma once

#include <atomic>
#include <cstdint>

namespace midilib {

// Keeps a JACK client's process callback out of our code while the client
// closes. Closing a client cancels its process thread at any instruction
// (JACK cancels it asynchronously), so a callback caught inside our code
// could die holding a lock or in the middle of an unwind. Each callback
// enters and leaves; shut() makes later callbacks return at once and waits
// until none is inside, after which the client may be closed.
class CallbackGuard {
public:
    // False when the guard is shut: the callback must return at once
    // without calling leave().
    [[nodiscard]] bool enter() {
        if (state_.fetch_add(1, std::memory_order_acquire) & shutBit) {
            leave();
            return false;
        }
        return true;
    }

    void leave() {
        if (state_.fetch_sub(1, std::memory_order_release) - 1 == shutBit)
            state_.notify_all();
    }

    // Waits for the callback in progress, if any, to leave. Must not be
    // called from the callback itself.
    void shut() {
        uint32_t state = state_.fetch_or(shutBit, std::memory_order_acq_rel) | shutBit;
        while (state != shutBit) {
            state_.wait(state, std::memory_order_acquire);
            state = state_.load(std::memory_order_acquire);
        }
    }

    [[nodiscard]] bool isShut() const {
        return (state_.load(std::memory_order_acquire) & shutBit) != 0;
    }

private:
    static constexpr uint32_t shutBit = 0x80000000u;
    std::atomic<uint32_t> state_{0}; // callbacks inside, plus the shut bit
};

} // namespace midilib
