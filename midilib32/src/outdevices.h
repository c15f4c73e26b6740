#pragma once

namespace midilib {

// Starts taking the list of the system's MIDI output ports on a thread of
// its own, unless it is already taken or under way.
void startListingOutDevices();

// Waits until a listing under way is done (at once when none is). The
// synthesizer's start waits for it, so the two do not slow each other
// down while a program is starting and waiting for its device list.
void awaitOutDevicesListing();

} // namespace midilib
