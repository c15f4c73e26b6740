#pragma once

// Standard MIDI File reading and writing in memory, with no file system and
// no handles: the entry points in smf.cpp and the fuzz target both use it.
//
// The event stream (what ReadSMF hands out and WriteSMF takes):
// - A channel message is one event: status 0x80..0xEF, data1, data2 (0 for
//   program change and channel pressure), data3 0.
// - A system-exclusive event of the file (F0 <length> <bytes>) becomes one
//   "byte event" per byte it puts on the wire: status 0xF0, data1 the byte,
//   data2 1 on the first byte event and 0 on the others, data3 0. The first
//   byte is the F0 itself, so data1 240 opens the message and data1 247
//   (its closing F7, possibly in a later packet) ends it.
// - An escape event (F7 <length> <bytes>: a sysex continuation packet or
//   any raw bytes) becomes byte events with status 0xF7, data1 the stored
//   bytes in order, data2 1 on the first. An empty escape puts nothing on
//   the wire and yields no event.
// - Meta events are not in the stream; their delta times are added to the
//   next event's time, so every event keeps its place in time. They are
//   read with findMeta (ReadMetaEvent).
// - time is the delta in ticks since the previous event of the track; all
//   byte events after the first of a packet have time 0.

#include "midilib32.h"

#include <cstdint>
#include <vector>

namespace midilib {

struct SmfMeta {
    uint32_t offset; // of the data in the file's bytes
    uint32_t length;
    uint32_t time; // ticks from the start of the track
    uint8_t type;
};

// Where the decoding of one track stands; rewinding resets it. Every track
// of an open file holds one, so it is kept small.
struct SmfCursor {
    uint32_t pos = 0;
    uint32_t carried = 0;   // delta ticks of skipped meta events
    uint32_t absolute = 0;  // ticks from the start of the track
    uint32_t bytesLeft = 0; // of the sysex or escape packet being handed out
    uint8_t running = 0;    // running status
    uint8_t packetType = 0; // 0xF0 or 0xF7 while a packet is handed out
    bool packetFirst = false;
    bool done = false;
};

// What a meta-event lookup looks for, and what it found.
struct SmfMetaSearch {
    uint8_t type = 0;
    uint32_t wanted = 0; // the occurrence, from 0
    uint32_t seen = 0;   // occurrences of `type` passed so far
    bool found = false;
    SmfMeta meta{};
};

// The bytes of a whole file. A large file is read into a mapping of its
// own that may use huge pages, so reading it costs the same per byte as a
// small one instead of a page fault every 4 KiB.
class SmfBytes {
public:
    SmfBytes() = default;
    explicit SmfBytes(std::vector<uint8_t> bytes) : vector_(std::move(bytes)) {}
    SmfBytes(SmfBytes&& other) noexcept { *this = std::move(other); }
    SmfBytes& operator=(SmfBytes&& other) noexcept;
    SmfBytes(const SmfBytes&) = delete;
    SmfBytes& operator=(const SmfBytes&) = delete;
    ~SmfBytes() { release(); }

    // False when the file cannot be read or exceeds 4 GiB.
    bool readFile(const char* path);

    [[nodiscard]] const uint8_t* data() const { return mapped_ ? mapped_ : vector_.data(); }
    [[nodiscard]] size_t size() const { return mapped_ ? size_ : vector_.size(); }
    [[nodiscard]] size_t held() const { return mapped_ ? mappedLength_ : vector_.capacity(); }

private:
    void release();

    std::vector<uint8_t> vector_;
    uint8_t* mapped_ = nullptr;
    size_t size_ = 0;
    size_t mappedLength_ = 0;
};

class SmfReader {
public:
    // Takes a whole file. False when it does not start with a valid header;
    // track chunks that run past the end are read up to the end.
    bool load(SmfBytes bytes);
    bool load(std::vector<uint8_t> bytes) { return load(SmfBytes(std::move(bytes))); }

    [[nodiscard]] uint16_t format() const { return format_; }
    [[nodiscard]] uint16_t division() const { return division_; }
    [[nodiscard]] uint32_t trackCount() const { return uint32_t(tracks_.size()); }

    // Decodes up to `room` events of `track` into `out`; 0 when the track
    // is exhausted, ended by its end-of-track event, or damaged at the
    // point reached.
    uint32_t read(uint32_t track, MIDIEVENT* out, uint32_t room);
    void rewind();

    // The `occurrence`-th (from 0) meta event of `type` in `track`, or null;
    // the result is valid until the next call, the data it points to as
    // long as the reader. No index is kept: the track is scanned, going on
    // from the last lookup when it asked for an earlier occurrence of the
    // same type in the same track, so reading a tempo map occurrence by
    // occurrence passes over the track once.
    const SmfMeta* findMeta(uint32_t track, uint8_t type, uint32_t occurrence);
    [[nodiscard]] const uint8_t* bytes() const { return bytes_.data(); }

    // Bytes this reader holds: the file, and sizeof(Track) per track.
    [[nodiscard]] size_t heldBytes() const;

    struct Track {
        uint32_t begin = 0;
        uint32_t end = 0;
        SmfCursor cursor;
    };

private:
    // Decodes events into `out` as read() does; with `search`, stops right
    // after the meta event it looks for.
    uint32_t decode(const Track& track, SmfCursor& cursor, MIDIEVENT* out, uint32_t room,
                    SmfMetaSearch* search) const;

    SmfBytes bytes_;
    std::vector<Track> tracks_;
    // Where the last meta-event lookup stopped.
    struct MetaScan {
        bool valid = false;
        uint32_t track = 0;
        uint8_t type = 0;
        uint32_t seen = 0;
        SmfCursor cursor;
    } metaScan_;
    SmfMeta found_{};
    uint16_t format_ = 0;
    uint16_t division_ = 0;
};

class SmfWriter {
public:
    SmfWriter(uint16_t format, uint32_t tracks, uint16_t division);

    [[nodiscard]] uint32_t trackCount() const { return uint32_t(tracks_.size()); }
    [[nodiscard]] uint16_t division() const { return division_; }
    void setDivision(uint16_t division) { division_ = division; }

    // Appends events; stops at the first event it cannot write (a bad
    // status or data byte, a delta above 0x0FFFFFFF counting the rests
    // before it, a track already ended) and returns how many it took. An
    // event of status 0xFF is a rest: it writes nothing, and its time is
    // added to the delta of what comes next (event, meta event or the end
    // of the track).
    uint32_t write(uint32_t track, const MIDIEVENT* events, uint32_t count);
    // Appends a meta event at the time of the previous event plus the rests
    // since. An end-of-track (0x2F) ends the track; otherwise one is added
    // by finish.
    bool writeMeta(uint32_t track, uint8_t type, const uint8_t* data, uint32_t length);

    // The whole file.
    [[nodiscard]] std::vector<uint8_t> finish();

private:
    struct Track {
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> packet; // byte events gathered for one sysex or escape
        uint32_t packetDelta = 0;
        uint32_t rest = 0; // ticks of rests not yet given to an event
        uint8_t packetType = 0;
        uint8_t running = 0;
        bool ended = false;
    };

    void flushPacket(Track& track);

    std::vector<Track> tracks_;
    uint16_t format_;
    uint16_t division_;
};

} // namespace midilib
