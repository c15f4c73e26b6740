/* A MIDI library that does nothing: every entry point returns at once
 * (OpenMidiOut hands out handle 33, device 0 is named). Start-up with it
 * shows what the program costs without any MIDI work. */
#include "midilib32.h"

#include <string.h>

#define NULL_ENTRY(name, bytes)                                                                    \
    __attribute__((visibility("default")))                                                         \
    uintptr_t null_##name(void) __asm__("_" #name "$" #bytes);                                     \
    uintptr_t null_##name(void) {                                                                  \
        return 0;                                                                                  \
    }

NULL_ENTRY(GetMidiLibVersion, 0)
NULL_ENTRY(GetNumOutDevices, 0)
NULL_ENTRY(ResetMidiOut, 4)
NULL_ENTRY(FlushMidiOut, 4)
NULL_ENTRY(CloseMidiOut, 4)
NULL_ENTRY(PutMidiOut, 8)
NULL_ENTRY(GetNumInDevices, 0)
NULL_ENTRY(GetMidiInDescription, 8)
NULL_ENTRY(OpenMidiIn, 16)
NULL_ENTRY(StartMidiIn, 4)
NULL_ENTRY(StopMidiIn, 4)
NULL_ENTRY(CloseMidiIn, 4)
NULL_ENTRY(GetMidiIn, 4)
NULL_ENTRY(OpenSync, 16)
NULL_ENTRY(CloseSync, 4)
NULL_ENTRY(StopSync, 4)
NULL_ENTRY(StartSync, 4)
NULL_ENTRY(PauseSync, 8)
NULL_ENTRY(ReStartSync, 4)
NULL_ENTRY(SetTempo, 8)
NULL_ENTRY(SetResolution, 8)
NULL_ENTRY(GetTempo, 4)
NULL_ENTRY(GetResolution, 4)
NULL_ENTRY(GetPosition, 8)
NULL_ENTRY(OpenSMF, 16)
NULL_ENTRY(CloseSMF, 4)
NULL_ENTRY(RewindSMF, 4)
NULL_ENTRY(ReadSMF, 16)
NULL_ENTRY(WriteSMF, 16)
NULL_ENTRY(GetSMFResolution, 4)
NULL_ENTRY(SetSMFResolution, 8)
NULL_ENTRY(ReadMetaEvent, 20)
NULL_ENTRY(WriteMetaEvent, 20)

__attribute__((visibility("default"))) uint32_t
nullDescription(uint32_t device, char* name) __asm__("_GetMidiOutDescription$8");
uint32_t nullDescription(uint32_t device, char* name) {
    if (!name)
        return 0;
    strcpy(name, device == 0 ? "Null" : "");
    return device == 0;
}

__attribute__((visibility("default"))) uint32_t nullOpen(HMIDILIBWINDOW window, uint32_t device,
                                                         uint32_t sync,
                                                         uint32_t flags) __asm__("_OpenMidiOut$16");
uint32_t nullOpen(HMIDILIBWINDOW window, uint32_t device, uint32_t sync, uint32_t flags) {
    (void)window;
    (void)sync;
    (void)flags;
    return device == 0 ? 33 : 0;
}
