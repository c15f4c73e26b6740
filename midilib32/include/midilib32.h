/*
 * MidiLib32: MIDI output, input, clock and Standard MIDI File access behind
 * one C interface. This header is the single source of the library's ABI.
 *
 * Conventions
 * - Every entry point is exported under a decorated name: a leading
 *   underscore, the C name, then '$' and the number of argument bytes
 *   counted as 4 per argument ("_PutMidiOut$8"). ELF treats '@' as a
 *   version marker, so '$' stands where the classic decoration has '@'.
 *   Callers that bind by name (dlsym) use those names; callers that link
 *   against the library use the C names below, which carry asm labels.
 * - A handle is an unsigned 32-bit value. Handles handed out by the Open
 *   calls are always greater than 32; a result from 0 to 32 means failure.
 * - Pointers are native pointers. Nothing here throws, prints or aborts:
 *   bad handles and bad arguments make a call fail with its failure result.
 * - Notifications reach the caller through a MIDILIBWINDOW: the library
 *   calls its post function, from any thread, and the caller delivers the
 *   message on its own GUI thread. After the matching Close call returns,
 *   the library posts nothing more to that window.
 */
#ifndef MIDILIB32_H
#define MIDILIB32_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(MIDILIB32_BUILDING)
#define MIDILIB32_API __attribute__((visibility("default")))
#else
#define MIDILIB32_API
#endif

#define MIDILIB32_EXPORT(name, bytes) __asm__("_" #name "$" #bytes)

/* One MIDI event: 8 bytes, little-endian. For a three-byte message data3 is
 * unused. The meaning of time depends on the call (see PutMidiOut, ReadSMF). */
typedef struct MIDIEVENT {
    uint32_t time;
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
    uint8_t data3;
} MIDIEVENT, *LPMIDIEVENT;

/* A time of all ones asks for the event to be sent at once. */
#define MIDILIB_TIME_NOW 0xFFFFFFFFu

/* The notification target ("hidden window") of a port, input or clock. */
typedef struct MIDILIBWINDOW {
    /* Called by the library from any of its threads; must not block. */
    void (*post)(void* context, uint32_t message, uint32_t wparam, uintptr_t lparam);
    void* context;
} MIDILIBWINDOW, *HMIDILIBWINDOW;

/* Notification message numbers. */
#define MIDILIB_MSG_OUT_BUFFER_READY 21587u /* output buffer has room */
#define MIDILIB_MSG_IN_DATA 963u            /* received events wait in GetMidiIn */
#define MIDILIB_MSG_SYNC_BEAT 21586u        /* the clock passed a beat */
#define MIDILIB_MSG_SYNC_DONE 21591u        /* the clock stopped */

/* Size of a device-name buffer: names are at most 31 bytes plus the zero. */
#define MIDILIB_NAME_SIZE 32

/* ---- Library ---------------------------------------------------------- */

/* Version as (major << 8) | minor. */
MIDILIB32_API uint32_t GetMidiLibVersion(void) MIDILIB32_EXPORT(GetMidiLibVersion, 0);

/* ---- Output ----------------------------------------------------------- */

/* Number of output devices. Device 0 is the built-in synthesizer; the MIDI
 * output ports of the system (ALSA sequencer, then a running JACK server)
 * follow. Asking for the count takes the list of ports afresh; until then
 * the list taken at the first look stands, so a program that walks the
 * names with GetMidiOutDescription sees one consistent list. */
MIDILIB32_API uint32_t GetNumOutDevices(void) MIDILIB32_EXPORT(GetNumOutDevices, 0);

/* Copies the zero-terminated name of output device `device` into `name`
 * (MIDILIB_NAME_SIZE bytes, owned by the caller). Names are at most 31 bytes,
 * cut on a UTF-8 character boundary. Nonzero when the device exists, 0
 * otherwise (the buffer is then left empty) or when `name` is null. */
MIDILIB32_API uint32_t GetMidiOutDescription(uint32_t device, char* name)
    MIDILIB32_EXPORT(GetMidiOutDescription, 8);

/* Opens output device `device`. `window` (may be null; copied) receives
 * MIDILIB_MSG_OUT_BUFFER_READY with the port handle as wparam and the free
 * room in events as lparam: once right after the open, and again whenever
 * PutMidiOut refused an event for want of room and the queue has drained
 * to half. `sync` is a clock handle from OpenSync or 0; a handle naming no
 * clock fails the open. `flags` are reserved except MIDILIB_OUT_OFFLINE
 * (midilib32_render.h). Returns a port handle > 32, or a value <= 32 when
 * the device cannot open (no such device, no audio output or soundfont for
 * the synthesizer, a port that is gone). The synthesizer opens at once and
 * loads its soundfont in the background. The handle lives until CloseMidiOut. */
MIDILIB32_API uint32_t OpenMidiOut(HMIDILIBWINDOW window, uint32_t device, uint32_t sync,
                                   uint32_t flags) MIDILIB32_EXPORT(OpenMidiOut, 16);

/* Silences every note on every channel of the port's device (the
 * synthesizer stops all voices; a port gets a note-off for each note it
 * left on, then All Notes Off on all 16 channels) and drops events still
 * scheduled. 0 on success, nonzero for a bad handle. */
MIDILIB32_API uint32_t ResetMidiOut(uint32_t port) MIDILIB32_EXPORT(ResetMidiOut, 4);

/* Sends every scheduled event of the port at once, in order. 0 on success,
 * nonzero for a bad handle. */
MIDILIB32_API uint32_t FlushMidiOut(uint32_t port) MIDILIB32_EXPORT(FlushMidiOut, 4);

/* Drops scheduled events, turns off the notes the port left on and closes
 * it; the handle is invalid afterwards, and nothing more is posted to its
 * window once this returns. 0 on success, nonzero for a bad handle. */
MIDILIB32_API uint32_t CloseMidiOut(uint32_t port) MIDILIB32_EXPORT(CloseMidiOut, 4);

/* Queues one event (copied; the caller keeps ownership). time
 * MIDILIB_TIME_NOW sends it before returning. Any other time is a delay
 * after the previous scheduled event of the port, in milliseconds, or in
 * ticks of the port's clock when it was opened with one (counted while the
 * clock runs); an event put when the previous one lies in the past counts
 * from the moment it is put. Status 0x80-0xEF and the system messages
 * carry their data bytes in data1 and data2. Status 0xF0 and 0xF7 are byte
 * events: data1 is one byte as it goes on the wire (an exclusive message
 * is F0, its data, F7, one byte per event, possibly split over F0 and F7
 * events); the port gathers them into whole messages. Status 0xFF is a
 * meta event: it keeps its place in time and sends nothing.
 * Result: low 16 bits zero when the event was taken; otherwise 1 bad
 * handle, 2 malformed event (or null), 3 queue full (wait for
 * MIDILIB_MSG_OUT_BUFFER_READY), 4 the device refused it. */
MIDILIB32_API uint32_t PutMidiOut(uint32_t port, LPMIDIEVENT event) MIDILIB32_EXPORT(PutMidiOut, 8);

/* ---- Input ------------------------------------------------------------ */

MIDILIB32_API uint32_t GetNumInDevices(void) MIDILIB32_EXPORT(GetNumInDevices, 0);

/* As GetMidiOutDescription, for input devices. */
MIDILIB32_API uint32_t GetMidiInDescription(uint32_t device, char* name)
    MIDILIB32_EXPORT(GetMidiInDescription, 8);

/* Opens input device `device`; `window` receives MIDILIB_MSG_IN_DATA when
 * events wait. Returns a handle > 32, or <= 32 on failure. */
MIDILIB32_API uint32_t OpenMidiIn(HMIDILIBWINDOW window, uint32_t device, uint32_t sync,
                                  uint32_t flags) MIDILIB32_EXPORT(OpenMidiIn, 16);
MIDILIB32_API uint32_t StartMidiIn(uint32_t input) MIDILIB32_EXPORT(StartMidiIn, 4);
MIDILIB32_API uint32_t StopMidiIn(uint32_t input) MIDILIB32_EXPORT(StopMidiIn, 4);
MIDILIB32_API uint32_t CloseMidiIn(uint32_t input) MIDILIB32_EXPORT(CloseMidiIn, 4);

/* The next received event, or null when none waits. The pointer stays valid
 * until the next GetMidiIn or CloseMidiIn on the same handle. */
MIDILIB32_API LPMIDIEVENT GetMidiIn(uint32_t input) MIDILIB32_EXPORT(GetMidiIn, 4);

/* ---- Clock ------------------------------------------------------------ */

/* Opens a clock. `window` receives MIDILIB_MSG_SYNC_BEAT and
 * MIDILIB_MSG_SYNC_DONE. Returns a handle > 32, or <= 32 on failure. */
MIDILIB32_API uint32_t OpenSync(HMIDILIBWINDOW window, uint32_t flags, uint32_t tempo,
                                uint32_t resolution) MIDILIB32_EXPORT(OpenSync, 16);
MIDILIB32_API uint32_t CloseSync(uint32_t sync) MIDILIB32_EXPORT(CloseSync, 4);
MIDILIB32_API uint32_t StopSync(uint32_t sync) MIDILIB32_EXPORT(StopSync, 4);
MIDILIB32_API uint32_t StartSync(uint32_t sync) MIDILIB32_EXPORT(StartSync, 4);
MIDILIB32_API uint32_t PauseSync(uint32_t sync, uint32_t pause) MIDILIB32_EXPORT(PauseSync, 8);
MIDILIB32_API uint32_t ReStartSync(uint32_t sync) MIDILIB32_EXPORT(ReStartSync, 4);
MIDILIB32_API uint32_t SetTempo(uint32_t sync, uint32_t tempo) MIDILIB32_EXPORT(SetTempo, 8);
MIDILIB32_API uint32_t SetResolution(uint32_t sync, uint32_t resolution)
    MIDILIB32_EXPORT(SetResolution, 8);
MIDILIB32_API uint32_t GetTempo(uint32_t sync) MIDILIB32_EXPORT(GetTempo, 4);
MIDILIB32_API uint32_t GetResolution(uint32_t sync) MIDILIB32_EXPORT(GetResolution, 4);
MIDILIB32_API uint32_t GetPosition(uint32_t sync, uint32_t* ticks) MIDILIB32_EXPORT(GetPosition, 8);

/* ---- Standard MIDI Files ---------------------------------------------- */

/* Opens `path` for reading (mode 'r') or writing (mode 'w'). */
MIDILIB32_API uint32_t OpenSMF(const char* path, uint32_t mode, uint32_t format, uint32_t* tracks)
    MIDILIB32_EXPORT(OpenSMF, 16);
MIDILIB32_API uint32_t CloseSMF(uint32_t smf) MIDILIB32_EXPORT(CloseSMF, 4);
MIDILIB32_API uint32_t RewindSMF(uint32_t smf) MIDILIB32_EXPORT(RewindSMF, 4);
MIDILIB32_API uint32_t ReadSMF(uint32_t smf, uint32_t track, LPMIDIEVENT events, uint32_t room)
    MIDILIB32_EXPORT(ReadSMF, 16);
MIDILIB32_API uint32_t WriteSMF(uint32_t smf, uint32_t track, LPMIDIEVENT events, uint32_t count)
    MIDILIB32_EXPORT(WriteSMF, 16);
MIDILIB32_API uint32_t GetSMFResolution(uint32_t smf) MIDILIB32_EXPORT(GetSMFResolution, 4);
MIDILIB32_API uint32_t SetSMFResolution(uint32_t smf, uint32_t resolution)
    MIDILIB32_EXPORT(SetSMFResolution, 8);
MIDILIB32_API int32_t ReadMetaEvent(uint32_t smf, uint32_t track, uint32_t type, uint8_t** data,
                                    uint32_t* length) MIDILIB32_EXPORT(ReadMetaEvent, 20);
MIDILIB32_API uint32_t WriteMetaEvent(uint32_t smf, uint32_t track, uint32_t type,
                                      const uint8_t* data, uint32_t length)
    MIDILIB32_EXPORT(WriteMetaEvent, 20);

/* The 35 entry points in binding order: X(name, argument bytes). */
#define MIDILIB32_ENTRY_POINTS(X)                                                                  \
    X(GetMidiLibVersion, 0)                                                                        \
    X(GetNumOutDevices, 0)                                                                         \
    X(GetMidiOutDescription, 8)                                                                    \
    X(OpenMidiOut, 16)                                                                             \
    X(ResetMidiOut, 4)                                                                             \
    X(FlushMidiOut, 4)                                                                             \
    X(CloseMidiOut, 4)                                                                             \
    X(PutMidiOut, 8)                                                                               \
    X(GetNumInDevices, 0)                                                                          \
    X(GetMidiInDescription, 8)                                                                     \
    X(OpenMidiIn, 16)                                                                              \
    X(StartMidiIn, 4)                                                                              \
    X(StopMidiIn, 4)                                                                               \
    X(CloseMidiIn, 4)                                                                              \
    X(GetMidiIn, 4)                                                                                \
    X(OpenSync, 16)                                                                                \
    X(CloseSync, 4)                                                                                \
    X(StopSync, 4)                                                                                 \
    X(StartSync, 4)                                                                                \
    X(PauseSync, 8)                                                                                \
    X(ReStartSync, 4)                                                                              \
    X(SetTempo, 8)                                                                                 \
    X(SetResolution, 8)                                                                            \
    X(GetTempo, 4)                                                                                 \
    X(GetResolution, 4)                                                                            \
    X(GetPosition, 8)                                                                              \
    X(OpenSMF, 16)                                                                                 \
    X(CloseSMF, 4)                                                                                 \
    X(RewindSMF, 4)                                                                                \
    X(ReadSMF, 16)                                                                                 \
    X(WriteSMF, 16)                                                                                \
    X(GetSMFResolution, 4)                                                                         \
    X(SetSMFResolution, 8)                                                                         \
    X(ReadMetaEvent, 20)                                                                           \
    X(WriteMetaEvent, 20)

#ifdef __cplusplus
}
#endif

#endif /* MIDILIB32_H */
