/*
 * MidiLib32: rendering the built-in synthesizer without an audio driver.
 * Not part of the 35 entry points a program binds; tests and tools that
 * want to hear what a port played, with no sound card, use it.
 *
 * Open device 0 with MIDILIB_OUT_OFFLINE in the flags: the synthesizer then
 * opens no audio output and time stands still until RenderMidiOut renders
 * it forward, so events scheduled with a delay sound at their exact frame
 * of the rendered audio. Events sent at once (time all ones) sound from the
 * next rendered frame on.
 */
#ifndef MIDILIB32_RENDER_H
#define MIDILIB32_RENDER_H

#include "midilib32.h"

#ifdef __cplusplus
extern "C" {
#endif

/* OpenMidiOut flag: open device 0 for offline rendering, with no audio
 * driver. Ignored by the other devices. */
#define MIDILIB_OUT_OFFLINE 0x80000000u

/* Frames per second of the rendered audio. */
#define MIDILIB_RENDER_RATE 48000u

/* Renders `frames` stereo frames of an offline port into `left` and `right`
 * (each room for `frames` floats, full scale +-1.0; the caller owns them),
 * sending the port's scheduled events as their time comes. Waits for the
 * soundfont if it is still loading. Returns the frames rendered: 0 for a
 * bad handle, a port not opened offline, or null buffers. Looked up by
 * name as "_RenderMidiOut$16". */
MIDILIB32_API uint32_t RenderMidiOut(uint32_t port, float* left, float* right, uint32_t frames)
    MIDILIB32_EXPORT(RenderMidiOut, 16);

#ifdef __cplusplus
}
#endif

#endif /* MIDILIB32_RENDER_H */
