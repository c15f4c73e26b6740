#pragma once

#include <string>

namespace midilib {

// `name` cut to fit a MIDILIB_NAME_SIZE buffer with its zero (at most 31
// bytes), never inside a UTF-8 character.
std::string fitDeviceName(const std::string& name);

} // namespace midilib
