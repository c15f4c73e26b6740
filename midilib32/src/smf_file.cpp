#include "smf_file.h"

#include "core/atomicfile.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <utility>

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

SmfBytes& SmfBytes::operator=(SmfBytes&& other) noexcept {
    if (this != &other) {
        release();
        vector_ = std::move(other.vector_);
        mapped_ = std::exchange(other.mapped_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mappedLength_ = std::exchange(other.mappedLength_, 0);
    }
    return *this;
}

void SmfBytes::release() {
    if (mapped_)
        ::munmap(mapped_, mappedLength_);
    mapped_ = nullptr;
    size_ = mappedLength_ = 0;
    vector_.clear();
}

bool SmfBytes::readFile(const char* path) {
    release();
    // Guarded: a pipe would block for ever, a device would never end.
    GuardedFile file(path, 0xFFFFFFFFu);
    if (!file.isOpen())
        return false;
    const size_t expected = size_t(file.size());
    constexpr size_t hugePage = size_t(2) << 20;
    uint8_t* target = nullptr;
    if (expected >= hugePage) {
        mappedLength_ = (expected + hugePage - 1) / hugePage * hugePage;
        void* map = ::mmap(nullptr, mappedLength_, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) {
            mappedLength_ = 0;
            return false;
        }
        mapped_ = static_cast<uint8_t*>(map);
        ::madvise(map, mappedLength_, MADV_HUGEPAGE);
        target = mapped_;
    } else {
        vector_.resize(expected);
        target = vector_.data();
    }
    // The file may shrink while it is read: what was there is what counts.
    const ssize_t done = file.read(target, expected);
    if (done < 0) {
        release();
        return false;
    }
    size_ = size_t(done);
    if (!mapped_) {
        vector_.resize(size_);
        vector_.shrink_to_fit();
    }
    return true;
}

bool SmfReader::load(SmfBytes bytes) {
    bytes_ = std::move(bytes);
    tracks_.clear();
    const uint8_t* const data = bytes_.data();
    if (bytes_.size() < 14 || bytes_.size() > 0xFFFFFFFFu || std::memcmp(data, "MThd", 4))
        return false;
    const uint32_t headerLength = be32(&data[4]);
    if (headerLength < 6 || headerLength > bytes_.size() - 8)
        return false;
    format_ = uint16_t(data[8] << 8 | data[9]);
    division_ = uint16_t(data[12] << 8 | data[13]);
    if (format_ > 2 || division_ == 0)
        return false;
    const uint32_t size = uint32_t(bytes_.size());
    // Two passes: the first counts the tracks, so the table is made at its
    // exact size (a file of a million empty tracks is 8 MB; doubling growth
    // would hold twice its table).
    for (int pass = 0; pass < 2; ++pass) {
        uint32_t count = 0;
        uint32_t pos = 8 + headerLength;
        while (size - pos >= 8) {
            const uint32_t length = be32(&data[pos + 4]);
            const uint32_t begin = pos + 8;
            // A chunk that claims more than the file holds is read up to the end.
            const uint32_t end = length > size - begin ? size : begin + length;
            if (!std::memcmp(&data[pos], "MTrk", 4)) {
                if (pass == 1) {
                    Track track;
                    track.begin = begin;
                    track.end = end;
                    track.cursor.pos = begin;
                    tracks_.push_back(track);
                }
                ++count;
            }
            pos = end;
        }
        if (pass == 0)
            tracks_.reserve(count);
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
    return bytes_.held() + tracks_.capacity() * sizeof(Track);
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
    const Track& t = tracks_[track];
    MetaScan& scan = metaScan_;
    if (!scan.valid || scan.track != track || scan.type != type || scan.seen > occurrence) {
        scan = MetaScan{};
        scan.valid = true;
        scan.track = track;
        scan.type = type;
        scan.cursor.pos = t.begin;
    }
    // A cursor of its own, so reading in batches is not disturbed.
    SmfMetaSearch search;
    search.type = type;
    search.wanted = occurrence;
    search.seen = scan.seen;
    MIDIEVENT scratch[256];
    while (decode(t, scan.cursor, scratch, 256, &search) && !search.found)
        ;
    scan.seen = search.seen;
    if (!search.found)
        return nullptr;
    found_ = search.meta;
    return &found_;
}

namespace {

// One event stored with a single 8-byte write: byte-wide stores could alias
// the decoder's state and force it back to memory after every event.
inline void store(MIDIEVENT* out, uint32_t time, uint8_t status, uint8_t data1, uint8_t data2) {
    MIDIEVENT e;
    e.time = time;
    e.status = status;
    e.data1 = data1;
    e.data2 = data2;
    e.data3 = 0;
    std::memcpy(out, &e, sizeof e);
}

} // namespace

uint32_t SmfReader::decode(const Track& track, SmfCursor& c, MIDIEVENT* out, uint32_t room,
                           SmfMetaSearch* search) const {
    const uint8_t* const bytes = bytes_.data();
    const uint32_t end = track.end;
    uint32_t n = 0;
    uint32_t pos = c.pos;
    uint32_t carried = c.carried;
    uint32_t absolute = c.absolute;
    uint8_t running = c.running;
    bool done = c.done;
    while (n < room) {
        if (c.bytesLeft) {
            // Hand out the packet being read, one byte event per byte.
            const uint32_t take = std::min(c.bytesLeft, room - n);
            for (uint32_t i = 0; i < take; ++i)
                store(out + n + i, 0, c.packetType, bytes[pos + i], 0);
            if (c.packetFirst) {
                store(out + n, carried, c.packetType, bytes[pos], 1);
                carried = 0;
                c.packetFirst = false;
            }
            n += take;
            pos += take;
            c.bytesLeft -= take;
            continue;
        }
        if (done)
            break;
        // The common case first: a one-byte delta and a channel message in
        // running status, with the bytes known to be there.
        if (end - pos >= 3 && bytes[pos] < 0x80 && bytes[pos + 1] < 0x80 && running) {
            const uint32_t delta = bytes[pos];
            const bool two = (running & 0xE0) != 0xC0;
            if (!two || bytes[pos + 2] < 0x80) {
                absolute = addTicks(absolute, delta);
                store(out + n++, carried ? addTicks(carried, delta) : delta, running,
                      bytes[pos + 1], two ? bytes[pos + 2] : 0);
                carried = 0;
                pos += two ? 3 : 2;
                continue;
            }
        }
        uint32_t delta;
        if (!readVarLen(bytes, end, pos, delta) || pos >= end) {
            done = true;
            break;
        }
        uint8_t status = bytes[pos];
        if (status & 0x80)
            ++pos;
        else if (running)
            status = running;
        else {
            done = true; // a data byte with no status to run on
            break;
        }
        absolute = addTicks(absolute, delta);
        if (status < 0xF0) {
            const uint32_t length = (status & 0xE0) == 0xC0 ? 1 : 2;
            if (end - pos < length || (bytes[pos] & 0x80) ||
                (length == 2 && (bytes[pos + 1] & 0x80))) {
                done = true;
                break;
            }
            store(out + n++, carried ? addTicks(carried, delta) : delta, status, bytes[pos],
                  length == 2 ? bytes[pos + 1] : 0);
            pos += length;
            carried = 0;
            running = status;
            continue;
        }
        if (status == 0xFF) {
            uint32_t length;
            if (pos >= end) {
                done = true;
                break;
            }
            const uint8_t type = bytes[pos++];
            if (!readVarLen(bytes, end, pos, length) || length > end - pos) {
                done = true;
                break;
            }
            const uint32_t data = pos;
            pos += length;
            carried = addTicks(carried, delta);
            if (type == 0x2F)
                done = true;
            if (search && type == search->type && search->seen++ == search->wanted) {
                search->found = true;
                search->meta = SmfMeta{data, length, absolute, type};
                break;
            }
            if (done)
                break;
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            uint32_t length;
            if (!readVarLen(bytes, end, pos, length) || length > end - pos) {
                done = true;
                break;
            }
            carried = addTicks(carried, delta);
            if (status == 0xF0) {
                // The F0 itself opens the message on the wire.
                store(out + n++, carried, 0xF0, 0xF0, 1);
                carried = 0;
                c.packetFirst = false;
            } else {
                c.packetFirst = true;
            }
            c.packetType = status;
            c.bytesLeft = length;
            continue;
        }
        // System common and real-time status bytes have no place in a file.
        done = true;
        break;
    }
    c.pos = done && !c.bytesLeft ? end : pos;
    c.carried = carried;
    c.absolute = absolute;
    c.running = running;
    c.done = done;
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
        // The rests before it count toward the event's delta.
        if (t.ended || e.time > maxDelta - t.rest)
            break;
        const uint32_t delta = t.rest + e.time;
        const uint8_t status = e.status;
        if (status == 0xFF) {
            // A rest: no event, only time for the next one to come after.
            flushPacket(t);
            t.rest = delta;
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            // Only the marks decide where a packet begins, so that whatever
            // bytes a file's packet held are written back as they were.
            const bool continues = t.packetType == status && delta == 0 && !(e.data2 & 1);
            if (!continues) {
                flushPacket(t);
                t.packetType = status;
                t.packetDelta = delta;
            }
            t.rest = 0;
            t.packet.push_back(e.data1);
            continue;
        }
        if (status < 0x80)
            break;
        const int length = dataLength(status);
        if ((length >= 1 && e.data1 > 0x7F) || (length == 2 && e.data2 > 0x7F))
            break;
        flushPacket(t);
        putVarLen(t.bytes, delta);
        t.rest = 0;
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
    putVarLen(t.bytes, t.rest);
    t.rest = 0;
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
            // Rests at the end of a track set its length.
            putVarLen(t.bytes, t.rest);
            t.rest = 0;
            const uint8_t endOfTrack[] = {0xFF, 0x2F, 0};
            t.bytes.insert(t.bytes.end(), endOfTrack, endOfTrack + 3);
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
