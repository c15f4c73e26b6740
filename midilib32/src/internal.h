#pragma once

#include <cstdint>

// What one part of the library asks of another. Each part keeps its own
// handle table; these are the only crossings.
namespace midilib {

// The clock (sync.cpp). A port opened with a clock reads its event times as
// ticks of that clock: it converts a delay of n ticks to n *
// syncMillisPerTick(sync) milliseconds when it schedules the event, and
// holds its scheduled events while syncRunning(sync) is false. Both are
// safe to call from any thread at any time, also with a closed or unknown
// handle; they take the clock's lock briefly and never block on a post.
//
// Milliseconds per tick of clock `sync` at its current tempo and resolution
// (tempo / 1000 / resolution), or 0 when no such clock is open.
double syncMillisPerTick(uint32_t sync);
// True while clock `sync` is open and running (started or restarted, not
// stopped or paused).
bool syncRunning(uint32_t sync);

} // namespace midilib
