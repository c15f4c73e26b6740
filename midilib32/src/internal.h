#pragma once

#include <cstdint>

// What one part of the library asks of another. Each part keeps its own
// handle table; these are the only crossings.
namespace midilib {

// The clock (sync.cpp). Milliseconds per tick of clock `sync` at its
// current tempo and resolution, or 0 when no such clock is open.
double syncMillisPerTick(uint32_t sync);
// True while clock `sync` is open and running (not stopped or paused).
bool syncRunning(uint32_t sync);

} // namespace midilib
