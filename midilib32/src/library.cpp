#include "midilib32.h"

#include "boundary.h"
#include "fluidapi.h"
#include "outdevices.h"

extern "C" uint32_t GetMidiLibVersion(void) {
    // A program asks for the version right after loading the library; the
    // list of MIDI ports starts then, on its own thread, so that it is
    // ready by the time the program shows its devices, and so does the
    // loading of the synthesizer's engine, for its open.
    midilib::guarded<int>(0, [] {
        midilib::startListingOutDevices();
        midilib::startLoadingFluidApi();
        return 0;
    });
    return 0x0100;
}
