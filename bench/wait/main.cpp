// How exactly the drill's waits end, and what they cost: the clock's wait
// (sleep to the deadline, then confirm) against a busy poll of a truncated
// millisecond clock. Prints, per kind and length, how far from the asked
// length the waits ended and the CPU time they used.

#include "core/clock.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {
using Steady = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The busy poll the clock's wait replaces: spin until the truncated clock
// reaches now + d.
void busyPoll(SystemClock& clock, int32_t milliseconds) {
    const int32_t target = clock.now() + milliseconds;
    while (clock.now() < target) {
    }
}

struct Figures {
    std::vector<double> offUs; // end minus asked length, sorted; < 0: ended early
    int early = 0, overOneMs = 0;
    double cpuPercent = 0;

    [[nodiscard]] double at(double fraction) const {
        return offUs[static_cast<std::size_t>(fraction * (offUs.size() - 1))];
    }
};

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    file >> one;
    return one.empty() ? "?" : one;
}

template <typename Wait> Figures measure(Wait wait, int32_t milliseconds, int repeats) {
    Figures f;
    const double cpu0 = cpuSeconds();
    const auto wall0 = Steady::now();
    for (int i = 0; i < repeats; ++i) {
        const auto start = Steady::now();
        wait(milliseconds);
        const double elapsedUs =
            std::chrono::duration<double, std::micro>(Steady::now() - start).count();
        const double offUs = elapsedUs - milliseconds * 1000.0;
        f.offUs.push_back(offUs);
        f.early += offUs < 0;
        f.overOneMs += offUs > 1000.0;
    }
    std::sort(f.offUs.begin(), f.offUs.end());
    const double wall = std::chrono::duration<double>(Steady::now() - wall0).count();
    f.cpuPercent = 100.0 * (cpuSeconds() - cpu0) / wall;
    return f;
}

void print(const char* kind, int32_t milliseconds, const Figures& f) {
    std::printf("%-10s %5d ms x%-4zu early %4d  >1ms late %4d  end vs asked (us): min %+8.1f  "
                "median %+8.1f  p99 %+8.1f  max %+8.1f  CPU %5.1f%%\n",
                kind, milliseconds, f.offUs.size(), f.early, f.overOneMs, f.offUs.front(),
                f.at(0.5), f.at(0.99), f.offUs.back(), f.cpuPercent);
}
} // namespace

int main() {
    SystemClock& clock = SystemClock::instance();
    struct Length {
        int32_t ms;
        int repeats;
    };
    // Short waits show the truncation; 500 and 1000 ms are a figure's tone
    // and an arpeggio's gap.
    const Length lengths[] = {{1, 300}, {3, 200}, {10, 100}, {500, 4}, {1000, 2}};
    std::printf("load average before: %s (2 cores shared; lateness beyond the wake-up latency is "
                "time the scheduler gave to other processes)\n",
                loadAverage().c_str());
    int early = 0, late = 0, waits = 0;
    for (const Length& l : lengths) {
        const Figures slept = measure([&](int32_t d) { clock.wait(d); }, l.ms, l.repeats);
        const Figures polled = measure([&](int32_t d) { busyPoll(clock, d); }, l.ms, l.repeats);
        print("clock wait", l.ms, slept);
        print("busy poll", l.ms, polled);
        early += slept.early;
        late += slept.overOneMs;
        waits += static_cast<int>(slept.offUs.size());
    }
    std::printf("clock wait: %d of %d waits ended early, %d ended more than 1 ms late "
                "(load average after: %s)\n",
                early, waits, late, loadAverage().c_str());
    // Ending early is a fault of the wait; lateness depends on the load.
    return early == 0 ? 0 : 1;
}
