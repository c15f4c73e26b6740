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
 *   calls its post function from one of the threads named beside each
 *   message below, and the caller delivers the message on its own GUI
 *   thread.
 * - CloseMidiOut, CloseMidiIn and CloseSync may be called from any thread,
 *   also from inside a notification of the component they close, on any of
 *   its threads. When the Close call returns, no notification of that
 *   component runs on another thread and none starts later; one that made
 *   the Close call itself goes on until it returns. So a caller may free
 *   what its window points at as soon as Close has returned.
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
 * room in events as lparam: once right after the open, from the thread
 * calling OpenMidiOut before it returns, and again whenever PutMidiOut
 * refused an event for want of room and the queue has drained to half,
 * from the thread that drained it: the port's own scheduling thread as
 * events go out in time, or the thread calling ResetMidiOut, FlushMidiOut
 * or (offline) RenderMidiOut. `sync` is a clock handle from OpenSync or 0; a handle naming no
 * clock fails the open. `flags` are reserved except MIDILIB_OUT_OFFLINE
 * (midilib32_render.h). Returns a port handle > 32, or a value <= 32 when
 * the device cannot open (no such device, no soundfont for the synthesizer
 * or no audio output that takes it, a port that is gone). The synthesizer
 * connects its audio output before the open returns and loads its soundfont
 * in the background: events put meanwhile wait in the port and sound once
 * it is in, spaced as they were put, so PutMidiOut never waits for it. The
 * handle lives until CloseMidiOut. */
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
 * MIDILIB_MSG_OUT_BUFFER_READY), 4 the device refused it, 5 the exclusive
 * message it belongs to is longer than the device takes in one piece (a
 * JACK port takes some 32 KB in one cycle): the byte that makes it too
 * long and the rest of that message up to its F7 are refused, nothing of
 * it is sent, and what is put after it goes out as usual. */
MIDILIB32_API uint32_t PutMidiOut(uint32_t port, LPMIDIEVENT event) MIDILIB32_EXPORT(PutMidiOut, 8);

/* ---- Input ------------------------------------------------------------ */

/* Number of MIDI input ports: those of the ALSA sequencer, then those of a
 * JACK server that already runs (the library never starts one). The list
 * is taken afresh by each call to GetNumInDevices, GetMidiInDescription
 * and OpenMidiIn, so ports that come and go change the indices; OpenMidiIn
 * opens the port that bore the name at that index. */
MIDILIB32_API uint32_t GetNumInDevices(void) MIDILIB32_EXPORT(GetNumInDevices, 0);

/* As GetMidiOutDescription, for input devices: the port's name ("client:port"
 * for JACK), at most 31 bytes, cut on a UTF-8 character boundary. */
MIDILIB32_API uint32_t GetMidiInDescription(uint32_t device, char* name)
    MIDILIB32_EXPORT(GetMidiInDescription, 8);

/* Opens input device `device`. `window` (may be null; copied, so the
 * caller's struct need not outlive the call) receives MIDILIB_MSG_IN_DATA
 * (963), wparam the input handle, when events start waiting: once after
 * the open or after GetMidiIn last returned null, not once per event, so a
 * reader drains with GetMidiIn until null. It comes from the thread that
 * receives for the port: JACK's process thread of the input's own client,
 * or the thread that reads an ALSA sequencer port. `sync` is a clock from OpenSync
 * (then event times are that clock's ticks) or 0 (milliseconds); an
 * unknown clock fails the open. `flags` are reserved. Returns a handle
 * > 32, or a value <= 32 when the device cannot open. Nothing is queued
 * until StartMidiIn. The handle lives until CloseMidiIn. A JACK port's
 * open returns once its connection carries messages, so what the peer
 * sends from then on arrives (it waits up to 2 s for a stalled server). */
MIDILIB32_API uint32_t OpenMidiIn(HMIDILIBWINDOW window, uint32_t device, uint32_t sync,
                                  uint32_t flags) MIDILIB32_EXPORT(OpenMidiIn, 16);
/* Starts queueing received messages; time counts from here. 0 on success,
 * nonzero for a bad handle. Starting a started input changes nothing. */
MIDILIB32_API uint32_t StartMidiIn(uint32_t input) MIDILIB32_EXPORT(StartMidiIn, 4);
/* Stops queueing; events already queued stay for GetMidiIn. 0 on success. */
MIDILIB32_API uint32_t StopMidiIn(uint32_t input) MIDILIB32_EXPORT(StopMidiIn, 4);
/* Closes the port and drops what is queued; the handle is invalid
 * afterwards and nothing more is posted to its window. 0 on success. */
MIDILIB32_API uint32_t CloseMidiIn(uint32_t input) MIDILIB32_EXPORT(CloseMidiIn, 4);

/* The next received event, in arrival order, or null when none waits. The
 * pointer stays valid until the next GetMidiIn or CloseMidiIn on the same
 * handle; the library owns it.
 * - time: the time since the previous queued event (for the first, since
 *   StartMidiIn), in milliseconds, or in ticks of the input's clock (0 when
 *   that clock was started again in between).
 * - A channel, system common or real-time message is one event: status and
 *   up to three data bytes. Active sensing (0xFE) is delivered like any
 *   other message.
 * - An exclusive message becomes byte events, one per byte as received:
 *   status 0xF0, data1 the byte (the first is F0 itself, the last F7),
 *   data2 1 on the first and 0 on the others, time 0 after the first.
 * An input holds at most 1048576 unread events; later ones are dropped. */
MIDILIB32_API LPMIDIEVENT GetMidiIn(uint32_t input) MIDILIB32_EXPORT(GetMidiIn, 4);

/* ---- Clock ------------------------------------------------------------ */

/* Opens a clock, stopped at tick 0. `tempo` is in microseconds per quarter
 * note (0: 500000, 120 per minute), `resolution` in ticks per quarter note
 * (0: 96); one tick lasts tempo / resolution microseconds. `window` (may be
 * null; copied) receives, from the clock's own thread:
 * - MIDILIB_MSG_SYNC_BEAT (21586) at each quarter note passed while the
 *   clock runs: wparam the clock handle, lparam the beat's number counted
 *   from 1 at StartSync (tick = number * resolution). A late wake-up skips
 *   to the latest beat passed rather than posting a burst.
 * - MIDILIB_MSG_SYNC_DONE (21591) when StopSync stops a running or paused
 *   clock: wparam the handle, lparam the position in ticks.
 *   It comes from the clock's thread shortly after StopSync returned, and
 *   not at all when CloseSync comes first.
 * `flags` are reserved. Returns a handle > 32, or <= 32 on failure. The
 * handle lives until CloseSync. Ports opened with the clock count their
 * delays in its ticks (see PutMidiOut). */
MIDILIB32_API uint32_t OpenSync(HMIDILIBWINDOW window, uint32_t flags, uint32_t tempo,
                                uint32_t resolution) MIDILIB32_EXPORT(OpenSync, 16);
/* Closes the clock and ends its thread; nothing more is posted to its
 * window once this returns. 0 on success, nonzero for a bad handle. */
MIDILIB32_API uint32_t CloseSync(uint32_t sync) MIDILIB32_EXPORT(CloseSync, 4);
/* Stops the clock where it stands; the clock's thread then posts
 * MIDILIB_MSG_SYNC_DONE (not when it was already stopped). 0 on success. */
MIDILIB32_API uint32_t StopSync(uint32_t sync) MIDILIB32_EXPORT(StopSync, 4);
/* Runs the clock from tick 0. 0 on success. */
MIDILIB32_API uint32_t StartSync(uint32_t sync) MIDILIB32_EXPORT(StartSync, 4);
/* `pause` nonzero holds a running clock where it stands; 0 lets a paused
 * clock go on. 0 on success. */
MIDILIB32_API uint32_t PauseSync(uint32_t sync, uint32_t pause) MIDILIB32_EXPORT(PauseSync, 8);
/* Lets a stopped or paused clock go on from where it stands (StartSync
 * begins again at 0). 0 on success. */
MIDILIB32_API uint32_t ReStartSync(uint32_t sync) MIDILIB32_EXPORT(ReStartSync, 4);
/* Sets the tempo (microseconds per quarter note, not 0) from this moment
 * on; the position does not jump. 0 on success. */
MIDILIB32_API uint32_t SetTempo(uint32_t sync, uint32_t tempo) MIDILIB32_EXPORT(SetTempo, 8);
/* Sets the ticks per quarter note (not 0); the position keeps its place in
 * quarter notes, so it is rescaled to the new ticks. 0 on success. */
MIDILIB32_API uint32_t SetResolution(uint32_t sync, uint32_t resolution)
    MIDILIB32_EXPORT(SetResolution, 8);
/* The tempo or resolution, or 0 for a bad handle. */
MIDILIB32_API uint32_t GetTempo(uint32_t sync) MIDILIB32_EXPORT(GetTempo, 4);
MIDILIB32_API uint32_t GetResolution(uint32_t sync) MIDILIB32_EXPORT(GetResolution, 4);
/* Stores the ticks since StartSync in *ticks (computed from the time, so
 * exact whenever it is asked; it holds still while stopped or paused).
 * 0 on success; nonzero for a bad handle or a null pointer. */
MIDILIB32_API uint32_t GetPosition(uint32_t sync, uint32_t* ticks) MIDILIB32_EXPORT(GetPosition, 8);

/* ---- Standard MIDI Files ---------------------------------------------- */

/* The event stream of a track, as ReadSMF hands it out and WriteSMF takes
 * it. time is the delta in ticks since the previous event of the track.
 * - A channel message is one event: status 0x80..0xEF, data1, data2 (0 for
 *   program change and channel pressure), data3 0.
 * - A system-exclusive event of the file (F0 <length> <bytes>) becomes one
 *   byte event per byte it puts on the wire: status 0xF0, data1 the byte,
 *   data2 1 on the first byte event and 0 on the others, data3 0. The first
 *   byte is the F0 itself; a message split into packets ends with the F7 of
 *   its last escape, so data1 240 opens an exclusive run and data1 247
 *   closes it.
 * - An escape event (F7 <length> <bytes>: a continuation packet, or any raw
 *   bytes) becomes byte events with status 0xF7, data1 the stored bytes,
 *   data2 1 on the first. An empty escape sends nothing and yields nothing.
 * - Meta events are not in the stream: their delta times are added to the
 *   next event's, so every event keeps its time. ReadMetaEvent reads them.
 * - Byte events after the first of a packet have time 0.
 * WriteSMF turns byte events back into one F0 or F7 event per run (a new
 * run begins at a byte event with data2 1, with another status, with a
 * nonzero time, or after any other event; so two messages in a row need
 * the mark on the first byte of the second. An F0 run's leading F0 byte is
 * its event type), and writes
 * system common and real-time messages (0xF1..0xFE) as escapes of their
 * bytes. Channel messages are written in running status.
 * - An event of status 0xFF given to WriteSMF is a rest: nothing is
 *   written, and its time is added to the delta of what comes next on the
 *   track (an event, a meta event, or the track's end). So a meta event
 *   can be placed at any time (a rest, then WriteMetaEvent) and a track's
 *   length set (a rest, then the end of the track). A file is copied
 *   through the API by merging each track's events with its meta events
 *   (ReadMetaEvent gives their times) in time order. */

/* Opens `path` for reading (mode 'r') or writing (mode 'w').
 * Reading: the whole file is read at once; `format` is ignored and
 * *tracks (if not null) receives the number of track chunks. A file that
 * does not start with a valid header (format 0, 1 or 2, nonzero division)
 * is refused. Damage further on never refuses the file: a track is read up
 * to the damage (a chunk longer than the file, a cut or over-long variable-
 * length number, a data byte with no status to run on, a length past the
 * chunk's end, a status byte where data belongs, a real-time status) and
 * then ends; chunks of other types are skipped.
 * Only a regular file is read (a pipe or a device is refused, and none
 * blocks the call), up to 4 GiB. While it is open the file's bytes are held
 * plus 28 bytes per track chunk; meta-event lookups keep no index.
 * Writing: `format` 0 (one track) or 1; *tracks gives the number of tracks
 * (null or 0: one). The file is built in memory and written at CloseSMF
 * through a temporary file in the folder of the file it replaces, which
 * replaces it only when complete. A symbolic link is followed (its target
 * is replaced, the link stays), an existing file keeps its mode (and owner
 * where the process may set it), a new one gets 0666 less the umask. The
 * open fails when the file cannot be replaced: a folder that cannot take
 * the file, an existing file without write permission (mode 444, say) or
 * one that is not a regular file. The resolution starts at 96 ticks per
 * quarter note.
 * Returns a handle > 32, or <= 32 on failure. The handle lives until
 * CloseSMF. */
MIDILIB32_API uint32_t OpenSMF(const char* path, uint32_t mode, uint32_t format, uint32_t* tracks)
    MIDILIB32_EXPORT(OpenSMF, 16);
/* Closes the file. For a file open for writing, ends each track that has
 * no end-of-track meta event and writes the file; 0 when it was written,
 * nonzero when it could not be (the old file, if any, is left as it was).
 * Data from ReadMetaEvent is freed. The handle is invalid afterwards. */
MIDILIB32_API uint32_t CloseSMF(uint32_t smf) MIDILIB32_EXPORT(CloseSMF, 4);
/* Sends every track of a file open for reading back to its start. 0 on
 * success; nonzero for a bad handle or a file open for writing. */
MIDILIB32_API uint32_t RewindSMF(uint32_t smf) MIDILIB32_EXPORT(RewindSMF, 4);
/* Copies the next events of `track` (0-based) into `events` (room for
 * `room` events, owned by the caller), going on where the last call ended.
 * Returns how many were stored: 0 when the track is exhausted, ended by its
 * end-of-track or damaged at the point reached, and for a bad handle,
 * track or pointer. */
MIDILIB32_API uint32_t ReadSMF(uint32_t smf, uint32_t track, LPMIDIEVENT events, uint32_t room)
    MIDILIB32_EXPORT(ReadSMF, 16);
/* Appends `count` events (copied) to `track` of a file open for writing.
 * Returns how many were taken; it stops at the first event it cannot write
 * (a status below 0x80, a data byte above 127, a delta above 0x0FFFFFFF
 * counting the rests before it, a track already ended by an end-of-track
 * meta event). Status 0xFF is a rest (see above). */
MIDILIB32_API uint32_t WriteSMF(uint32_t smf, uint32_t track, LPMIDIEVENT events, uint32_t count)
    MIDILIB32_EXPORT(WriteSMF, 16);
/* Ticks per quarter note (the header's division as stored; a value with
 * bit 15 set is SMPTE timing), or 0 for a bad handle. */
MIDILIB32_API uint32_t GetSMFResolution(uint32_t smf) MIDILIB32_EXPORT(GetSMFResolution, 4);
/* Sets the division of a file open for writing (1..65535). 0 on success;
 * nonzero for a bad handle or value, or a file open for reading. */
MIDILIB32_API uint32_t SetSMFResolution(uint32_t smf, uint32_t resolution)
    MIDILIB32_EXPORT(SetSMFResolution, 8);
/* Finds a meta event of `track` in a file open for reading. The low 8 bits
 * of `type` are the meta type; the bits above count occurrences (0: the
 * first event of that type, 1: the second, ...), so a tempo map is read
 * with type 0x51, 0x151, 0x251, ... until -1. On success stores a pointer
 * to the event's data in *data and its length in *length and returns the
 * event's time in ticks from the start of the track (at most 2^31 - 1).
 * The data belongs to the library and stays valid until CloseSMF. Returns
 * -1 when there is no such event (or for a bad handle, track or pointer). */
MIDILIB32_API int32_t ReadMetaEvent(uint32_t smf, uint32_t track, uint32_t type, uint8_t** data,
                                    uint32_t* length) MIDILIB32_EXPORT(ReadMetaEvent, 20);
/* Appends meta event `type` (0..127) to `track` of a file open for
 * writing, at the time of the previous event plus the rests written since
 * (see WriteSMF). `data` is copied.
 * A length of 0 with data not null takes data as zero-terminated text (a
 * track name); null data writes an empty event. An end-of-track (0x2F) ends
 * the track: later events are refused. 0 = written; nonzero = failed. */
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
