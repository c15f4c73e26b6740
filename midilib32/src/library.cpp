#include "midilib32.h"

extern "C" uint32_t GetMidiLibVersion(void) {
    // A program asks for the version right after loading the library, while
    // it makes its windows: nothing starts here. Mapping the synthesizer's
    // thirty-odd libraries on another thread then made a window show some
    // 20 ms later (each mapping stalls every thread of the process), and
    // the port list's JACK client competed likewise; both wait for the first
    // open or look at the devices.
    return 0x0100;
}
