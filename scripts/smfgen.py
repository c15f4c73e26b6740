#!/usr/bin/env python3
"""Writes a large Standard MIDI File (format 1) for reading benchmarks and
tests, the same bytes for the same seed and size, and prints what it holds.

    smfgen.py --out FILE [--seed N] [--events N] [--tracks N]

Written from the file format alone (chunks, variable-length numbers,
running status, sysex, escape and meta events), sharing nothing with the
MIDI library's writer, so that a reader is not only tried on files shaped
the way our own writer shapes them.

Track 0 is a conductor track: a name, time and key signatures, and tempo
changes (one in about 40 events of the file), with markers and more
signatures now and then. Every other track mixes notes in running status
(on, off as velocity 0, and 8n note-offs), controller, pitch-bend, pressure
and program runs, exclusive messages whole (F0 ... F7) or split into an F0
packet and F7 continuation packets, escapes of real-time bytes (F7),
text, marker and lyric events (which end running status, as the format
says), and delta times from 0 to four-byte numbers. A track's time stays
below 2^31 ticks up to some 250,000 events per track.

Prints one "name value" line per count:
  events       events in the file, end-of-track events included (what
               midicsv lists between Start_track and End_of_file)
  channel      channel messages
  sysex        F0 events
  escapes      F7 events
  metas        meta events, end-of-track events included
  tempos       tempo changes (meta type 0x51), all in track 0
  stream       events a reader hands out when it turns each F0 event into
               one event per byte on the wire (the F0 itself and its data)
               and each F7 event into one per stored byte, and keeps meta
               events apart
  bytes        the file's size
  track.N      stream events of track N, as above
"""

import argparse
import random
import sys


def varlen(value):
    """The format's variable-length number: 7 bits a byte, high bit set on
    all but the last, at most four bytes."""
    if not 0 <= value <= 0x0FFFFFFF:
        raise ValueError("variable-length number out of range: %d" % value)
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Track:
    """One track chunk's events, with running status and the counts."""

    def __init__(self, counts):
        self.data = bytearray()
        self.running = None  # the status a data byte may run on
        self.counts = counts
        self.stream = 0

    def delta(self, rng):
        pick = rng.random()
        if pick < 0.25:
            ticks = 0
        elif pick < 0.97:
            ticks = rng.randrange(1, 128)  # one byte
        elif pick < 0.995:
            ticks = rng.randrange(128, 16384)  # two bytes
        elif pick < 0.9995:
            ticks = rng.randrange(16384, 1 << 21)  # three bytes
        else:
            ticks = rng.randrange(1 << 21, 1 << 23)  # four bytes
        self.data += varlen(ticks)

    def channel(self, rng, status, *data):
        self.delta(rng)
        if status != self.running:
            self.data.append(status)
            self.running = status
        self.data += bytes(data)
        self.counts["channel"] += 1
        self.counts["events"] += 1
        self.stream += 1

    def meta(self, rng, kind, payload, at_zero=False):
        if at_zero:
            self.data += varlen(0)
        else:
            self.delta(rng)
        self.data += bytes([0xFF, kind]) + varlen(len(payload)) + payload
        self.running = None  # meta events end running status
        self.counts["metas"] += 1
        self.counts["events"] += 1
        if kind == 0x51:
            self.counts["tempos"] += 1

    def exclusive(self, rng, kind, payload, delta=True):
        if delta:
            self.delta(rng)
        else:
            self.data += varlen(rng.randrange(0, 20))
        self.data += bytes([kind]) + varlen(len(payload)) + payload
        self.running = None  # so do exclusive and escape events
        self.counts["events"] += 1
        if kind == 0xF0:
            self.counts["sysex"] += 1
            self.stream += 1 + len(payload)
        else:
            self.counts["escapes"] += 1
            self.stream += len(payload)

    def end(self):
        self.data += varlen(0) + b"\xff\x2f\x00"
        self.counts["metas"] += 1
        self.counts["events"] += 1

    def chunk(self):
        return b"MTrk" + len(self.data).to_bytes(4, "big") + bytes(self.data)


def words(rng, count):
    letters = "abcdefghijklmnopqrstuvwxyz"
    return " ".join(
        "".join(rng.choice(letters) for _ in range(rng.randrange(2, 9))) for _ in range(count)
    ).encode("ascii")


def seven_bit(rng, count):
    return bytes(rng.randrange(0, 128) for _ in range(count))


def conductor(rng, counts, events):
    track = Track(counts)
    track.meta(rng, 0x03, b"Conductor", at_zero=True)
    track.meta(rng, 0x58, bytes([4, 2, 24, 8]), at_zero=True)
    track.meta(rng, 0x59, bytes([0, 0]), at_zero=True)
    while counts["events"] < events:
        pick = rng.random()
        if pick < 0.96:
            tempo = rng.randrange(250000, 1500000)
            track.meta(rng, 0x51, tempo.to_bytes(3, "big"))
        elif pick < 0.98:
            track.meta(rng, 0x06, b"Section " + words(rng, 1))
        elif pick < 0.99:
            track.meta(rng, 0x58, bytes([rng.choice([2, 3, 4, 5, 6, 7]), rng.choice([2, 3]), 24, 8]))
        elif pick < 0.995:
            sharps = rng.randrange(-7, 8)
            track.meta(rng, 0x59, bytes([sharps & 0xFF, rng.randrange(0, 2)]))
        else:
            track.meta(rng, 0x7F, bytes([0x7D]) + seven_bit(rng, rng.randrange(1, 12)))
    track.end()
    return track


def music(rng, counts, events, channel, number):
    track = Track(counts)
    track.meta(rng, 0x03, b"Track %d" % number, at_zero=True)
    track.channel(rng, 0xC0 | channel, rng.randrange(0, 128))
    goal = counts["events"] + events
    while counts["events"] < goal:
        pick = rng.random()
        if pick < 0.005:
            track.meta(rng, rng.choice([0x01, 0x05, 0x06]), words(rng, rng.randrange(1, 6)))
        elif pick < 0.015:
            track.channel(rng, 0x80 | channel, rng.randrange(24, 108), rng.randrange(0, 128))
        elif pick < 0.075:
            controller = rng.choice([1, 7, 10, 11, 64, 74])
            for _ in range(rng.randrange(4, 13)):
                track.channel(rng, 0xB0 | channel, controller, rng.randrange(0, 128))
        elif pick < 0.105:
            for _ in range(rng.randrange(2, 7)):
                bend = rng.randrange(0, 16384)
                track.channel(rng, 0xE0 | channel, bend & 0x7F, bend >> 7)
        elif pick < 0.12:
            for _ in range(rng.randrange(2, 6)):
                track.channel(rng, 0xD0 | channel, rng.randrange(0, 128))
        elif pick < 0.13:
            track.channel(rng, 0xA0 | channel, rng.randrange(24, 108), rng.randrange(0, 128))
        elif pick < 0.135:
            track.channel(rng, 0xC0 | channel, rng.randrange(0, 128))
        elif pick < 0.145:
            # An exclusive message: whole, or an F0 packet and one to three
            # F7 continuation packets, the last ending in F7.
            body = bytes([0x43, 0x10, 0x4C]) + seven_bit(rng, rng.randrange(1, 24))
            if rng.random() < 0.5:
                track.exclusive(rng, 0xF0, body + b"\xf7")
            else:
                track.exclusive(rng, 0xF0, body)
                packets = rng.randrange(1, 4)
                for i in range(packets):
                    more = seven_bit(rng, rng.randrange(1, 16))
                    last = b"\xf7" if i == packets - 1 else b""
                    track.exclusive(rng, 0xF7, more + last, delta=False)
        elif pick < 0.148:
            # An escape of real-time bytes (start, clock, stop).
            realtime = [rng.choice([0xFA, 0xF8, 0xFC]) for _ in range(rng.randrange(1, 4))]
            track.exclusive(rng, 0xF7, bytes(realtime))
        else:
            # Notes: on, and off as velocity 0, in running status.
            velocity = rng.randrange(1, 128) if rng.random() < 0.5 else 0
            track.channel(rng, 0x90 | channel, rng.randrange(24, 108), velocity)
    track.end()
    return track


def generate(seed, events, tracks):
    rng = random.Random(seed)
    counts = dict.fromkeys(
        ["events", "channel", "sysex", "escapes", "metas", "tempos"], 0)
    # About one tempo change in forty events, all in the conductor track.
    chunks = [conductor(rng, counts, events // 40)]
    per_track = (events - counts["events"]) // (tracks - 1)
    for number in range(1, tracks):
        chunks.append(music(rng, counts, per_track, (number - 1) % 16, number))
    header = b"MThd" + (6).to_bytes(4, "big") + (1).to_bytes(2, "big") + \
        tracks.to_bytes(2, "big") + (480).to_bytes(2, "big")
    data = header + b"".join(track.chunk() for track in chunks)
    counts["stream"] = sum(track.stream for track in chunks)
    counts["bytes"] = len(data)
    for number, track in enumerate(chunks):
        counts["track.%d" % number] = track.stream
    return data, counts


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", required=True, help="the file to write")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--events", type=int, default=1600000,
                        help="about how many events (default 1600000)")
    parser.add_argument("--tracks", type=int, default=16, help="2 to 65535 (default 16)")
    args = parser.parse_args()
    if not 2 <= args.tracks <= 65535 or args.events < 100 * args.tracks:
        parser.error("--tracks must be 2 to 65535 and --events at least 100 per track")
    data, counts = generate(args.seed, args.events, args.tracks)
    with open(args.out, "wb") as out:
        out.write(data)
    for name, value in counts.items():
        sys.stdout.write("%s %d\n" % (name, value))


if __name__ == "__main__":
    main()
