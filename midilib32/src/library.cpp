#include "midilib32.h"

extern "C" uint32_t GetMidiLibVersion(void) {
    return 0x0100;
}
