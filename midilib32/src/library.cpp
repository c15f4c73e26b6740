#include "midilib32.h"

#include "boundary.h"
#include "synthengine.h"

extern "C" uint32_t GetMidiLibVersion(void) {
    // A program asks for the version right after loading the library; the
    // synthesizer's engine is made then, with its soundfont, on a thread of
    // its own, so that device 0's open finds it ready. The port list waits
    // for the first look at the devices or open: taking it opens a JACK
    // client, which would compete with a program making its windows.
    midilib::guarded<int>(0, [] {
        midilib::startPreparingSynth();
        return 0;
    });
    return 0x0100;
}
