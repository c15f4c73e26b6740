#pragma once

#include "outport.h"

#include <memory>
#include <rtmidi/RtMidi.h>
#include <string>
#include <vector>

namespace midilib {

// A MIDI output port of the system, as found when the ports were listed.
struct PortAddress {
    RtMidi::Api api;
    std::string name; // the full name the system gives it
};

// The output ports of the ALSA sequencer, then those of a running JACK
// server; a system that has neither gives an empty list. The clients that
// made the list come with it: closing a JACK client takes a while, so the
// caller can hand the list on first and close them afterwards.
struct PortListing {
    std::vector<PortAddress> ports;
    std::vector<std::shared_ptr<void>> clients; // closed when released
};
PortListing listOutPorts();

// Connects to the port of that name; null when it is gone. ALSA ports are
// reached through RtMidi, JACK ports through a JACK client of our own that
// holds messages back until the new connection carries them.
std::unique_ptr<OutSink> openPort(const PortAddress& address);

} // namespace midilib
