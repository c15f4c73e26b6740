#pragma once

#include <cstdint>

// What the input side asks of the clock, beside internal.h's contract.
namespace midilib {

// True while clock `sync` is open.
bool syncExists(uint32_t sync);
// The position of clock `sync` in ticks since StartSync (frozen while
// stopped or paused); false when no such clock is open.
bool syncPosition(uint32_t sync, double* ticks);

} // namespace midilib
