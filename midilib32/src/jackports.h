#pragma once

#include <jack/jack.h>

#include <optional>
#include <string>
#include <vector>

namespace midilib {

// The full names of the MIDI ports of a running JACK server that have all
// of `flags` (JackPortIsInput: ports we can send to; JackPortIsOutput: ports
// we can listen to). Null when no server runs. The list is read through one
// client that stays open while the server runs: a client opened and closed
// for every look would make the server's notices to it race its going,
// and the server then refuses other clients for a moment.
std::optional<std::vector<std::string>> jackMidiPorts(unsigned long flags);

// Makes the client behind jackMidiPorts (without opening it yet), so that an
// object made after this call, and so torn down before it at exit, may wait
// for threads that are still listing.
void keepJackListerAlive();

// Opens a JACK client called `name`, never starting a server. A server
// that is there may refuse a new client while another one is coming or
// going; the open is then tried again for a short while. Null when no
// server runs or it keeps refusing.
jack_client_t* openJackClient(const char* name);

} // namespace midilib
