// Reads every track and meta event of an arbitrary file, in batches whose
// size the input picks, and checks that what was read, written again and
// read back is the same event stream.
#include "smf_file.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace midilib;

namespace {

void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool sameEvent(const MIDIEVENT& a, const MIDIEVENT& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<MIDIEVENT> readAll(SmfReader& reader, uint32_t track, uint32_t room) {
    std::vector<MIDIEVENT> events;
    std::vector<MIDIEVENT> batch(room);
    while (const uint32_t n = reader.read(track, batch.data(), room)) {
        require(n <= room);
        events.insert(events.end(), batch.begin(), batch.begin() + n);
    }
    return events;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t room = size ? 1 + data[size - 1] % 64 : 1;
    SmfReader reader;
    if (!reader.load(std::vector<uint8_t>(data, data + size)))
        return 0;
    const uint32_t tracks = reader.trackCount();
    std::vector<std::vector<MIDIEVENT>> firstRead;
    for (uint32_t t = 0; t < tracks; ++t) {
        firstRead.push_back(readAll(reader, t, room));
        for (uint32_t type = 0; type < 256; type += 17) {
            for (uint32_t k = 0; k < 3; ++k) {
                const SmfMeta* meta = reader.findMeta(t, uint8_t(type), k);
                if (!meta)
                    break;
                require(meta->offset <= size && meta->length <= size - meta->offset);
                volatile uint8_t sink = 0;
                for (uint32_t i = 0; i < meta->length; ++i)
                    sink = sink + reader.bytes()[meta->offset + i];
            }
        }
    }
    // A rewind reads the same again, whatever the batch size.
    reader.rewind();
    for (uint32_t t = 0; t < tracks; ++t) {
        const auto again = readAll(reader, t, 8192);
        require(again.size() == firstRead[t].size());
        for (size_t i = 0; i < again.size(); ++i)
            require(sameEvent(again[i], firstRead[t][i]));
    }
    // What was read can be written, and reads back the same.
    if (tracks == 0 || tracks > 0xFFFF)
        return 0;
    SmfWriter writer(1, tracks, reader.division());
    std::vector<uint32_t> taken(tracks);
    for (uint32_t t = 0; t < tracks; ++t)
        taken[t] = writer.write(t, firstRead[t].data(), uint32_t(firstRead[t].size()));
    SmfReader back;
    require(back.load(writer.finish()));
    require(back.trackCount() == tracks);
    for (uint32_t t = 0; t < tracks; ++t) {
        const auto events = readAll(back, t, room);
        require(events.size() == taken[t]);
        for (size_t i = 0; i < events.size(); ++i)
            require(sameEvent(events[i], firstRead[t][i]));
    }
    return 0;
}
