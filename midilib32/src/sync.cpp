// The clock: one thread per open clock sleeps to the next beat's deadline
// and posts MIDILIB_MSG_SYNC_BEAT, and MIDILIB_MSG_SYNC_DONE after a stop;
// the position in ticks is computed from the steady clock, so it stays
// exact however late the thread wakes.
#include "sync.h"

#include "internal.h"
#include "midilib32.h"
#include "postgate.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace midilib {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr uint32_t defaultTempo = 500000; // 120 quarter notes per minute
constexpr uint32_t defaultResolution = 96;
constexpr uint32_t firstSyncHandle = 0x01000000;

enum class SyncState { Stopped, Running, Paused };

struct Sync {
    uint32_t handle = 0;
    PostGate gate;
    uint32_t tempo = defaultTempo;
    uint32_t resolution = defaultResolution;
    SyncState state = SyncState::Stopped;
    // Position = anchorTicks + time since anchorTime, while running.
    double anchorTicks = 0;
    SteadyClock::time_point anchorTime{};
    // Quarter notes announced since the last start (beat n is at n * resolution ticks).
    uint64_t beatsPosted = 0;
    // Where StopSync stopped the clock, until its thread has told the window.
    std::optional<double> stoppedAt;
    bool quit = false;
    std::condition_variable wake;
    std::thread thread;

    double millisPerTick() const { return tempo / 1000.0 / resolution; }

    double positionAt(SteadyClock::time_point now) const {
        if (state != SyncState::Running)
            return anchorTicks;
        const double ms = std::chrono::duration<double, std::milli>(now - anchorTime).count();
        return anchorTicks + ms / millisPerTick();
    }

    // Re-bases the position on `now`, so that tempo or resolution changes
    // apply from this moment on.
    void anchor(SteadyClock::time_point now) {
        anchorTicks = positionAt(now);
        anchorTime = now;
    }

    void post(uint32_t message, uintptr_t lparam) { gate.post(message, handle, lparam); }
};

// One lock guards the table and every clock's fields; each clock's thread
// sleeps on its own condition variable under it.
std::mutex tableLock;

// A program that unloads the library with clocks still open must not leave
// their threads running in unloaded code: they are ended here.
struct SyncTable : std::map<uint32_t, std::shared_ptr<Sync>> {
    ~SyncTable() {
        std::vector<std::shared_ptr<Sync>> open;
        {
            std::lock_guard lock(tableLock);
            for (auto& [handle, sync] : *this) {
                sync->quit = true;
                sync->wake.notify_all();
                open.push_back(sync);
            }
        }
        for (auto& sync : open)
            if (sync->thread.joinable() && sync->thread.get_id() != std::this_thread::get_id())
                sync->thread.join();
    }
};
SyncTable table;
uint32_t nextHandle = firstSyncHandle;

std::shared_ptr<Sync> find(uint32_t handle) {
    const auto it = table.find(handle);
    return it == table.end() ? nullptr : it->second;
}

// The thread keeps its clock alive, so CloseSync called from a post on this
// very thread can let it go instead of joining itself.
void runClock(std::shared_ptr<Sync> sync) {
    std::unique_lock lock(tableLock);
    while (!sync->quit) {
        if (sync->stoppedAt) {
            const auto position = uintptr_t(*sync->stoppedAt);
            sync->stoppedAt.reset();
            lock.unlock();
            sync->post(MIDILIB_MSG_SYNC_DONE, position);
            lock.lock();
            continue;
        }
        if (sync->state != SyncState::Running) {
            sync->wake.wait(lock);
            continue;
        }
        const auto now = SteadyClock::now();
        const double position = sync->positionAt(now);
        const double nextBeat = double(sync->beatsPosted + 1) * sync->resolution;
        if (position >= nextBeat) {
            // Late wake-ups (a loaded machine) still announce every beat passed.
            sync->beatsPosted = uint64_t(position / sync->resolution);
            const uintptr_t beat = uintptr_t(sync->beatsPosted);
            lock.unlock();
            sync->post(MIDILIB_MSG_SYNC_BEAT, beat);
            lock.lock();
            continue;
        }
        const auto wait = std::chrono::duration<double, std::milli>((nextBeat - position) *
                                                                    sync->millisPerTick());
        sync->wake.wait_until(lock, now + std::chrono::duration_cast<SteadyClock::duration>(wait));
    }
}

template <typename F> uint32_t withSync(uint32_t handle, F&& f) {
    try {
        std::lock_guard lock(tableLock);
        const auto sync = find(handle);
        if (!sync)
            return 1;
        return f(*sync) ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

} // namespace

double syncMillisPerTick(uint32_t handle) {
    std::lock_guard lock(tableLock);
    const auto sync = find(handle);
    return sync ? sync->millisPerTick() : 0.0;
}

bool syncRunning(uint32_t handle) {
    std::lock_guard lock(tableLock);
    const auto sync = find(handle);
    return sync && sync->state == SyncState::Running;
}

bool syncExists(uint32_t handle) {
    std::lock_guard lock(tableLock);
    return find(handle) != nullptr;
}

bool syncPosition(uint32_t handle, double* ticks) {
    std::lock_guard lock(tableLock);
    const auto sync = find(handle);
    if (!sync)
        return false;
    *ticks = sync->positionAt(SteadyClock::now());
    return true;
}

} // namespace midilib

using namespace midilib;

extern "C" MIDILIB32_API uint32_t OpenSync(HMIDILIBWINDOW window, uint32_t /*flags*/,
                                           uint32_t tempo, uint32_t resolution) {
    try {
        auto sync = std::make_shared<Sync>();
        sync->gate.setWindow(window);
        sync->tempo = tempo ? tempo : defaultTempo;
        sync->resolution = resolution ? resolution : defaultResolution;
        std::lock_guard lock(tableLock);
        while (table.count(nextHandle) || nextHandle <= 32)
            ++nextHandle;
        sync->handle = nextHandle++;
        sync->thread = std::thread(runClock, sync);
        table.emplace(sync->handle, sync);
        return sync->handle;
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t CloseSync(uint32_t handle) {
    try {
        std::shared_ptr<Sync> sync;
        {
            std::lock_guard lock(tableLock);
            sync = find(handle);
            if (!sync)
                return 1;
            table.erase(handle);
            sync->quit = true;
            sync->wake.notify_all();
        }
        // The thread may be inside a post: it ends before this returns,
        // unless this is that post, and nothing more reaches the window.
        sync->gate.close();
        if (sync->thread.get_id() == std::this_thread::get_id())
            sync->thread.detach();
        else if (sync->thread.joinable())
            sync->thread.join();
        return 0;
    } catch (...) {
        return 1;
    }
}

extern "C" MIDILIB32_API uint32_t StartSync(uint32_t handle) {
    return withSync(handle, [](Sync& sync) {
        sync.state = SyncState::Running;
        sync.anchorTicks = 0;
        sync.anchorTime = SteadyClock::now();
        sync.beatsPosted = 0;
        sync.wake.notify_all();
        return true;
    });
}

extern "C" MIDILIB32_API uint32_t StopSync(uint32_t handle) {
    // The clock's thread tells the window, so that CloseSync can know every
    // post of the clock and the header's word on threads holds.
    return withSync(handle, [&](Sync& sync) {
        if (sync.state == SyncState::Stopped)
            return true;
        sync.anchor(SteadyClock::now());
        sync.state = SyncState::Stopped;
        sync.stoppedAt = sync.anchorTicks;
        sync.wake.notify_all();
        return true;
    });
}

extern "C" MIDILIB32_API uint32_t PauseSync(uint32_t handle, uint32_t pause) {
    return withSync(handle, [pause](Sync& sync) {
        const auto now = SteadyClock::now();
        if (pause && sync.state == SyncState::Running) {
            sync.anchor(now);
            sync.state = SyncState::Paused;
        } else if (!pause && sync.state == SyncState::Paused) {
            sync.anchorTime = now;
            sync.state = SyncState::Running;
        }
        sync.wake.notify_all();
        return true;
    });
}

extern "C" MIDILIB32_API uint32_t ReStartSync(uint32_t handle) {
    return withSync(handle, [](Sync& sync) {
        if (sync.state != SyncState::Running) {
            sync.anchorTime = SteadyClock::now();
            sync.state = SyncState::Running;
            sync.beatsPosted = uint64_t(sync.anchorTicks / sync.resolution);
            sync.wake.notify_all();
        }
        return true;
    });
}

extern "C" MIDILIB32_API uint32_t SetTempo(uint32_t handle, uint32_t tempo) {
    return withSync(handle, [tempo](Sync& sync) {
        if (tempo == 0)
            return false;
        sync.anchor(SteadyClock::now());
        sync.tempo = tempo;
        sync.wake.notify_all();
        return true;
    });
}

extern "C" MIDILIB32_API uint32_t SetResolution(uint32_t handle, uint32_t resolution) {
    return withSync(handle, [resolution](Sync& sync) {
        if (resolution == 0)
            return false;
        // The position keeps its place in quarter notes; only the tick size changes.
        sync.anchor(SteadyClock::now());
        sync.anchorTicks = sync.anchorTicks * resolution / sync.resolution;
        sync.resolution = resolution;
        sync.wake.notify_all();
        return true;
    });
}

extern "C" MIDILIB32_API uint32_t GetTempo(uint32_t handle) {
    try {
        std::lock_guard lock(tableLock);
        const auto sync = find(handle);
        return sync ? sync->tempo : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t GetResolution(uint32_t handle) {
    try {
        std::lock_guard lock(tableLock);
        const auto sync = find(handle);
        return sync ? sync->resolution : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t GetPosition(uint32_t handle, uint32_t* ticks) {
    try {
        if (!ticks)
            return 1;
        double position = 0;
        if (!syncPosition(handle, &position))
            return 1;
        *ticks = uint32_t(uint64_t(position));
        return 0;
    } catch (...) {
        return 1;
    }
}
