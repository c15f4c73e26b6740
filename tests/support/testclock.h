#pragma once

#include "core/clock.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// A clock for tests: it stands still until the test moves it, and a wait
// takes no time, moving it straight to its target. It keeps the targets
// waited for, in order.
class TestClock : public Clock {
public:
    explicit TestClock(int32_t start = 0) : time(start) {}

    int32_t time;
    std::vector<int32_t> waits;

    [[nodiscard]] int32_t now() const override { return time; }
    void waitUntil(int32_t target) override {
        waits.push_back(target);
        time = std::max(time, target);
    }
    void advance(int32_t milliseconds) { time += milliseconds; }
};
