// Memory of an open Standard MIDI File with very many tracks: a file of
// 1,000,000 empty track chunks (8 MB), opened, then every track read with
// ReadSMF, then one ReadMetaEvent per track. Prints what the process holds
// beyond the file's own size, per track.
//
// bench_smf_tracks [tracks]   (default 1000000)
#include "midilib32.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Heap blocks in use plus every other mapping of the process (the library
// reads large files into a mapping of their own); the heap's free space
// does not count.
long memoryInUse() {
    const struct mallinfo2 info = mallinfo2();
    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    return pages * sysconf(_SC_PAGESIZE) - long(info.arena) + long(info.uordblks);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t count = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : 1000000;
    char folder[] = "/tmp/bench-smf-tracks-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string path = std::string(folder) + "/tracks.mid";
    size_t fileSize = 0;
    {
        std::vector<uint8_t> bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0xFF, 0xFF, 0, 96};
        for (uint32_t t = 0; t < count; ++t)
            bytes.insert(bytes.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        fileSize = bytes.size();
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
            return 1;
        std::fclose(file);
    }
    malloc_trim(0);
    const long before = memoryInUse();
    uint32_t tracks = 0;
    const uint32_t smf = OpenSMF(path.c_str(), 'r', 0, &tracks);
    if (smf <= 32 || tracks != count) {
        std::fprintf(stderr, "OpenSMF failed\n");
        return 1;
    }
    auto report = [&](const char* stage) {
        const long held = memoryInUse() - before;
        std::printf("%-34s %7.1f MB held, %5.1f bytes per track beyond the file's %zu bytes\n",
                    stage, double(held) / 1e6, (double(held) - double(fileSize)) / double(count),
                    fileSize);
    };
    report("open:");
    MIDIEVENT batch[16];
    for (uint32_t t = 0; t < count; ++t)
        (void)ReadSMF(smf, t, batch, 16);
    report("after ReadSMF on every track:");
    uint8_t* data = nullptr;
    uint32_t length = 0;
    for (uint32_t t = 0; t < count; ++t)
        (void)ReadMetaEvent(smf, t, 0x2F, &data, &length);
    report("after ReadMetaEvent on every track:");
    CloseSMF(smf);
    std::remove(path.c_str());
    rmdir(folder);
    return 0;
}
