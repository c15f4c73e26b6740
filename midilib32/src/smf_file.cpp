#include "smf_file.h"

#include <algorithm>
#include <cstring>

namespace midilib {
namespace {

constexpr uint32_t maxDelta = 0x0FFFFFFF;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A variable-length number of at most four bytes, none of them past `end`.
// False for a longer or cut-off number.
inline bool readVarLen(const uint8_t* bytes, uint32_t end, uint32_t& pos, uint32_t& value) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= end)
            return false;
        const uint8_t b = bytes[pos++];
        v = v << 7 | (b & 0x7F);
        if (!(b & 0x80)) {
            value = v;
            return true;
        }
    }
    return false;
}

inline uint32_t addTicks(uint32_t a, uint32_t b) {
    // Saturates below MIDILIB_TIME_NOW, which means "at once" elsewhere.
    const uint64_t sum = uint64_t(a) + b;
    return sum >= MIDILIB_TIME_NOW ? MIDILIB_TIME_NOW - 1 : uint32_t(sum);
}

void putVarLen(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t buffer[4];
    int n = 0;
    buffer[n++] = value & 0x7F;
    while (value >>= 7)
        buffer[n++] = uint8_t(0x80 | (value & 0x7F));
    while (n)
        out.push_back(buffer[--n]);
}

// Data bytes that follow a status byte on the wire.
int dataLength(uint8_t status) {
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 1 : 2;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 1;
    case 0xF2:
        return 2;
    default:
        return 0;
    }
}

} // namespace

bool SmfReader::load(std::vector<uint8_t> bytes) {
    bytes_ = std::move(bytes);
    tracks_.clear();
    if (bytes_.size() < 14 || bytes_.size() > 0xFFFFFFFFu || std::memcmp(bytes_.data(), "MThd", 4))
        return false;
    const uint32_t headerLength = be32(&bytes_[4]);
    if (headerLength < 6 || headerLength > bytes_.size() - 8)
        return false;
    format_ = uint16_t(bytes_[8] << 8 | bytes_[9]);
    division_ = uint16_t(bytes_[12] << 8 | bytes_[13]);
    if (format_ > 2 || division_ == 0)
        return false;
    const uint32_t size = uint32_t(bytes_.size());
    uint32_t pos = 8 + headerLength;
    while (size - pos >= 8) {
        const uint32_t length = be32(&bytes_[pos + 4]);
        const uint32_t begin = pos + 8;
        // A chunk that claims more than the file holds is read up to the end.
        const uint32_t end = length > size - begin ? size : begin + length;
        if (!std::memcmp(&bytes_[pos], "MTrk", 4)) {
            Track track;
            track.begin = begin;
            track.end = end;
            track.cursor.pos = begin;
            tracks_.push_back(std::move(track));
        }
        pos = end;
    }
    return true;
}

void SmfReader::rewind() {
    for (auto& track : tracks_) {
        track.cursor = SmfCursor{};
        track.cursor.pos = track.begin;
    }
}

size_t SmfReader::heldBytes() const {
    size_t held = bytes_.capacity() + tracks_.capacity() * sizeof(Track);
    for (const auto& track : tracks_)
        held += track.metas.capacity() * sizeof(SmfMeta);
    return held;
}

uint32_t SmfReader::read(uint32_t track, MIDIEVENT* out, uint32_t room) {
    if (track >= tracks_.size() || !out)
        return 0;
    Track& t = tracks_[track];
    return decode(t, t.cursor, out, room, nullptr);
}

const SmfMeta* SmfReader::findMeta(uint32_t track, uint8_t type, uint32_t occurrence) {
    if (track >= tracks_.size())
        return nullptr;
    Track& t = tracks_[track];
    if (!t.metasIndexed) {
        // One pass over the track with a cursor of its own, so reading in
        // batches is not disturbed.
        SmfCursor cursor;
        cursor.pos = t.begin;
        MIDIEVENT scratch[1024];
        while (decode(t, cursor, scratch, 1024, &t.metas))
            ;
        t.metasIndexed = true;
    }
    for (const auto& meta : t.metas)
        if (meta.type == type && occurrence-- == 0)
            return &meta;
    return nullptr;
}

uint32_t SmfReader::decode(const Track& track, SmfCursor& c, MIDIEVENT* out, uint32_t room,
                           std::vector<SmfMeta>* metas) const {
    const uint8_t* const bytes = bytes_.data();
    const uint32_t end = track.end;
    uint32_t n = 0;
    uint32_t pos = c.pos;
    while (n < room) {
        if (c.bytesLeft) {
            // Hand out the packet being read, one byte event per byte.
            const uint32_t take = std::min(c.bytesLeft, room - n);
            for (uint32_t i = 0; i < take; ++i) {
                MIDIEVENT& e = out[n++];
                e.time = 0;
                e.status = c.packetType;
                e.data1 = bytes[pos++];
                e.data2 = 0;
                e.data3 = 0;
            }
            if (c.packetFirst) {
                out[n - take].time = c.carried;
                out[n - take].data2 = 1;
                c.carried = 0;
                c.packetFirst = false;
            }
            c.bytesLeft -= take;
            continue;
        }
        if (c.done)
            break;
        uint32_t delta;
        if (!readVarLen(bytes, end, pos, delta)) {
            c.done = true;
            break;
        }
        if (pos >= end) {
            c.done = true;
            break;
        }
        uint8_t status = bytes[pos];
        if (status & 0x80)
            ++pos;
        else if (c.running)
            status = c.running;
        else {
            c.done = true; // data byte with no status to run on
            break;
        }
        c.absolute = addTicks(c.absolute, delta);
        if (status < 0xF0) {
            const int length = (status & 0xE0) == 0xC0 ? 1 : 2;
            if (end - pos < uint32_t(length) || (bytes[pos] & 0x80) ||
                (length == 2 && (bytes[pos + 1] & 0x80))) {
                c.done = true;
                break;
            }
            MIDIEVENT& e = out[n++];
            e.time = c.carried ? addTicks(c.carried, delta) : delta;
            e.status = status;
            e.data1 = bytes[pos];
            e.data2 = length == 2 ? bytes[pos + 1] : 0;
            e.data3 = 0;
            pos += length;
            c.carried = 0;
            c.running = status;
            continue;
        }
        if (status == 0xFF) {
            uint32_t length;
            if (pos >= end) {
                c.done = true;
                break;
            }
            const uint8_t type = bytes[pos++];
            if (!readVarLen(bytes, end, pos, length) || length > end - pos) {
                c.done = true;
                break;
            }
            if (metas)
                metas->push_back(SmfMeta{pos, length, c.absolute, type});
            pos += length;
            c.carried = addTicks(c.carried, delta);
            if (type == 0x2F) {
                c.done = true;
                break;
            }
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            uint32_t length;
            if (!readVarLen(bytes, end, pos, length) || length > end - pos) {
                c.done = true;
                break;
            }
            c.carried = addTicks(c.carried, delta);
            if (status == 0xF0) {
                // The F0 itself opens the message on the wire.
                MIDIEVENT& e = out[n++];
                e.time = c.carried;
                e.status = 0xF0;
                e.data1 = 0xF0;
                e.data2 = 1;
                e.data3 = 0;
                c.carried = 0;
                c.packetFirst = false;
            } else {
                c.packetFirst = true;
            }
            c.packetType = status;
            c.bytesLeft = length;
            continue;
        }
        // System common and real-time status bytes have no place in a file.
        c.done = true;
        break;
    }
    c.pos = pos;
    if (c.done && !c.bytesLeft)
        c.pos = end;
    return n;
}

SmfWriter::SmfWriter(uint16_t format, uint32_t tracks, uint16_t division)
    : tracks_(tracks), format_(format), division_(division) {}

void SmfWriter::flushPacket(Track& t) {
    if (!t.packetType)
        return;
    auto packet = t.packet.begin();
    // An F0 packet's own first byte is its event type, not part of its data.
    if (t.packetType == 0xF0 && packet != t.packet.end() && *packet == 0xF0)
        ++packet;
    putVarLen(t.bytes, t.packetDelta);
    t.bytes.push_back(t.packetType);
    putVarLen(t.bytes, uint32_t(t.packet.end() - packet));
    t.bytes.insert(t.bytes.end(), packet, t.packet.end());
    t.packet.clear();
    t.packetType = 0;
    t.running = 0; // sysex cancels running status for other readers
}

uint32_t SmfWriter::write(uint32_t track, const MIDIEVENT* events, uint32_t count) {
    if (track >= tracks_.size() || !events)
        return 0;
    Track& t = tracks_[track];
    uint32_t n = 0;
    for (; n < count; ++n) {
        const MIDIEVENT& e = events[n];
        if (t.ended || e.time > maxDelta)
            break;
        const uint8_t status = e.status;
        if (status == 0xF0 || status == 0xF7) {
            const bool continues = t.packetType == status && e.time == 0 && !(e.data2 & 1);
            if (!continues) {
                flushPacket(t);
                t.packetType = status;
                t.packetDelta = e.time;
            }
            t.packet.push_back(e.data1);
            continue;
        }
        if (status < 0x80 || status == 0xFF)
            break;
        const int length = dataLength(status);
        if ((length >= 1 && e.data1 > 0x7F) || (length == 2 && e.data2 > 0x7F))
            break;
        flushPacket(t);
        putVarLen(t.bytes, e.time);
        if (status >= 0xF0) {
            // System messages travel in a file as escapes of their wire bytes.
            t.bytes.push_back(0xF7);
            t.bytes.push_back(uint8_t(1 + length));
            t.bytes.push_back(status);
            t.running = 0;
        } else if (status != t.running) {
            t.bytes.push_back(status);
            t.running = status;
        }
        if (length >= 1)
            t.bytes.push_back(e.data1);
        if (length == 2)
            t.bytes.push_back(e.data2);
    }
    return n;
}

bool SmfWriter::writeMeta(uint32_t track, uint8_t type, const uint8_t* data, uint32_t length) {
    if (track >= tracks_.size() || type > 0x7F || length > maxDelta || (length && !data))
        return false;
    Track& t = tracks_[track];
    if (t.ended)
        return false;
    flushPacket(t);
    t.bytes.push_back(0);
    t.bytes.push_back(0xFF);
    t.bytes.push_back(type);
    putVarLen(t.bytes, length);
    if (length)
        t.bytes.insert(t.bytes.end(), data, data + length);
    t.running = 0;
    if (type == 0x2F)
        t.ended = true;
    return true;
}

std::vector<uint8_t> SmfWriter::finish() {
    std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6};
    const uint32_t count = uint32_t(tracks_.size());
    file.push_back(uint8_t(format_ >> 8));
    file.push_back(uint8_t(format_));
    file.push_back(uint8_t(count >> 8));
    file.push_back(uint8_t(count));
    file.push_back(uint8_t(division_ >> 8));
    file.push_back(uint8_t(division_));
    for (auto& t : tracks_) {
        flushPacket(t);
        if (!t.ended) {
            const uint8_t endOfTrack[] = {0, 0xFF, 0x2F, 0};
            t.bytes.insert(t.bytes.end(), endOfTrack, endOfTrack + 4);
            t.ended = true;
        }
        const uint32_t length = uint32_t(t.bytes.size());
        const uint8_t header[] = {'M',
                                  'T',
                                  'r',
                                  'k',
                                  uint8_t(length >> 24),
                                  uint8_t(length >> 16),
                                  uint8_t(length >> 8),
                                  uint8_t(length)};
        file.insert(file.end(), header, header + 8);
        file.insert(file.end(), t.bytes.begin(), t.bytes.end());
    }
    return file;
}

} // namespace midilib
