#include "core/clock.h"

#include <chrono>
#include <thread>

namespace {
using Steady = std::chrono::steady_clock;

Steady::time_point programStart() {
    static const Steady::time_point start = Steady::now();
    return start;
}
} // namespace

int32_t SystemClock::now() const {
    const auto elapsed = Steady::now() - programStart();
    return static_cast<int32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void SystemClock::waitUntil(int32_t target) {
    // The deadline as a steady time point: sleeping to it cannot end early
    // (sleep_until returns at or after the point), and the check below guards
    // against spurious wake-ups.
    const auto deadline = programStart() + std::chrono::milliseconds(target);
    while (now() < target) {
        std::this_thread::sleep_until(deadline);
    }
}

void SystemClock::wait(int32_t milliseconds) {
    // The millisecond target first: the exact deadline below lies no earlier
    // than it, so the confirming waitUntil returns at once.
    const int32_t target = now() + milliseconds;
    const auto deadline = Steady::now() + std::chrono::milliseconds(milliseconds);
    while (Steady::now() < deadline) {
        std::this_thread::sleep_until(deadline);
    }
    waitUntil(target);
}

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    programStart();
    return clock;
}
