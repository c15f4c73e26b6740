// Standard MIDI File entry points: a handle table over SmfReader (the whole
// file is read at open and decoded batch by batch) and SmfWriter (the file
// is built in memory and written at close through the program's guarded
// rewrite: a temporary file beside the target replaces it only when
// complete, links are followed, the mode is kept).
#include "smf_file.h"

#include "core/atomicfile.h"

#include "midilib32.h"

#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace midilib {
namespace {

constexpr uint32_t firstSmfHandle = 0x03000000;
constexpr uint32_t occurrenceShift = 8;

struct SmfHandle {
    char mode = 'r';
    std::unique_ptr<SmfReader> reader;
    std::unique_ptr<SmfWriter> writer;
    // A file opened for writing and never closed leaves no temporary behind.
    FileRewrite rewrite;
};

std::mutex tableLock;
std::map<uint32_t, std::unique_ptr<SmfHandle>> table;
uint32_t nextHandle = firstSmfHandle;

SmfHandle* find(uint32_t handle) {
    const auto it = table.find(handle);
    return it == table.end() ? nullptr : it->second.get();
}

uint32_t addHandle(std::unique_ptr<SmfHandle> smf) {
    std::lock_guard lock(tableLock);
    while (table.count(nextHandle) || nextHandle <= 32)
        ++nextHandle;
    const uint32_t handle = nextHandle++;
    table.emplace(handle, std::move(smf));
    return handle;
}

uint32_t openForReading(const char* path, uint32_t* tracks) {
    auto smf = std::make_unique<SmfHandle>();
    smf->mode = 'r';
    smf->reader = std::make_unique<SmfReader>();
    SmfBytes bytes;
    if (!bytes.readFile(path) || !smf->reader->load(std::move(bytes)))
        return 0;
    if (tracks)
        *tracks = smf->reader->trackCount();
    return addHandle(std::move(smf));
}

uint32_t openForWriting(const char* path, uint32_t format, uint32_t* tracks) {
    const uint32_t count = tracks && *tracks ? *tracks : 1;
    if (format > 1 || (format == 0 && count != 1) || count > 0xFFFF)
        return 0;
    auto smf = std::make_unique<SmfHandle>();
    smf->mode = 'w';
    // The rewrite begins now, so a file or folder that cannot take the new
    // file fails the open.
    if (!smf->rewrite.begin(path))
        return 0;
    smf->writer = std::make_unique<SmfWriter>(uint16_t(format), count, 96);
    if (tracks)
        *tracks = count;
    return addHandle(std::move(smf));
}

} // namespace
} // namespace midilib

using namespace midilib;

extern "C" MIDILIB32_API uint32_t OpenSMF(const char* path, uint32_t mode, uint32_t format,
                                          uint32_t* tracks) {
    try {
        if (!path || !*path)
            return 0;
        if (mode == 'r' || mode == 'R')
            return openForReading(path, tracks);
        if (mode == 'w' || mode == 'W')
            return openForWriting(path, format, tracks);
        return 0;
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t CloseSMF(uint32_t handle) {
    try {
        std::unique_ptr<SmfHandle> smf;
        {
            std::lock_guard lock(tableLock);
            const auto it = table.find(handle);
            if (it == table.end())
                return 1;
            smf = std::move(it->second);
            table.erase(it);
        }
        if (smf->mode != 'w')
            return 0;
        const std::vector<uint8_t> bytes = smf->writer->finish();
        return smf->rewrite.write(bytes.data(), bytes.size()) && smf->rewrite.commit() ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

extern "C" MIDILIB32_API uint32_t RewindSMF(uint32_t handle) {
    try {
        std::lock_guard lock(tableLock);
        SmfHandle* smf = find(handle);
        if (!smf || smf->mode != 'r')
            return 1;
        smf->reader->rewind();
        return 0;
    } catch (...) {
        return 1;
    }
}

extern "C" MIDILIB32_API uint32_t ReadSMF(uint32_t handle, uint32_t track, LPMIDIEVENT events,
                                          uint32_t room) {
    try {
        std::lock_guard lock(tableLock);
        SmfHandle* smf = find(handle);
        if (!smf || smf->mode != 'r' || !events)
            return 0;
        return smf->reader->read(track, events, room);
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t WriteSMF(uint32_t handle, uint32_t track, LPMIDIEVENT events,
                                           uint32_t count) {
    try {
        std::lock_guard lock(tableLock);
        SmfHandle* smf = find(handle);
        if (!smf || smf->mode != 'w' || !events)
            return 0;
        return smf->writer->write(track, events, count);
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t GetSMFResolution(uint32_t handle) {
    try {
        std::lock_guard lock(tableLock);
        SmfHandle* smf = find(handle);
        if (!smf)
            return 0;
        return smf->mode == 'r' ? smf->reader->division() : smf->writer->division();
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t SetSMFResolution(uint32_t handle, uint32_t resolution) {
    try {
        std::lock_guard lock(tableLock);
        SmfHandle* smf = find(handle);
        if (!smf || smf->mode != 'w' || resolution == 0 || resolution > 0xFFFF)
            return 1;
        smf->writer->setDivision(uint16_t(resolution));
        return 0;
    } catch (...) {
        return 1;
    }
}

extern "C" MIDILIB32_API int32_t ReadMetaEvent(uint32_t handle, uint32_t track, uint32_t type,
                                               uint8_t** data, uint32_t* length) {
    try {
        std::lock_guard lock(tableLock);
        SmfHandle* smf = find(handle);
        if (!smf || smf->mode != 'r' || !data || !length)
            return -1;
        const SmfMeta* meta =
            smf->reader->findMeta(track, uint8_t(type & 0xFF), type >> occurrenceShift);
        if (!meta)
            return -1;
        // The data stays inside the file's bytes, which live until CloseSMF.
        *data = const_cast<uint8_t*>(smf->reader->bytes()) + meta->offset;
        *length = meta->length;
        return meta->time > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(meta->time);
    } catch (...) {
        return -1;
    }
}

extern "C" MIDILIB32_API uint32_t WriteMetaEvent(uint32_t handle, uint32_t track, uint32_t type,
                                                 const uint8_t* data, uint32_t length) {
    try {
        std::lock_guard lock(tableLock);
        SmfHandle* smf = find(handle);
        if (!smf || smf->mode != 'w' || type > 0xFF)
            return 1;
        // A length of 0 with data is a zero-terminated text (a track name, say).
        if (length == 0 && data)
            length = uint32_t(std::strlen(reinterpret_cast<const char*>(data)));
        return smf->writer->writeMeta(track, uint8_t(type), data, length) ? 0 : 1;
    } catch (...) {
        return 1;
    }
}
