// Reading a large Standard MIDI File: the library through ReadSMF, midicsv,
// and a plain memchr pass over the same bytes, in one run.
//
// bench_smf [events]   (default 1200000; the linearity check also reads a
// file with ten times as many)
//
// Times are CPU times (the reading thread's, and midicsv's user + system
// time), so that other work on a shared machine does not count; memory is
// the heap the library holds while the file is open and fully read.
//
// The file has 16 tracks: a conductor track with tens of thousands of tempo
// changes, and 15 tracks of notes in running status, controller and pitch
// bend runs, and sysex messages split into an F0 packet and F7 packets.
#include "midilib32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double childSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

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

void putVarLen(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t buffer[4];
    int n = 0;
    buffer[n++] = value & 0x7F;
    while (value >>= 7)
        buffer[n++] = uint8_t(0x80 | (value & 0x7F));
    while (n)
        out.push_back(buffer[--n]);
}

struct Generated {
    std::vector<uint8_t> bytes;
    uint64_t events = 0; // events stored in the file, meta events included
    uint64_t tempos = 0;
    uint64_t streamEvents = 0; // MIDIEVENTs ReadSMF must hand out
};

Generated generate(uint64_t events) {
    Generated g;
    auto put32 = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            g.bytes.push_back(uint8_t(v >> s));
    };
    const char header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 16, 0x01, (char)0xE0};
    g.bytes.assign(header, header + sizeof header);
    uint32_t seed = 12345;
    auto random = [&] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };

    // Conductor: one tempo change in every 24 events of the file.
    const uint64_t tempos = events / 24;
    std::vector<uint8_t> track;
    for (uint64_t i = 0; i < tempos; ++i) {
        const uint32_t tempo = 300000 + random() % 400000;
        putVarLen(track, 120);
        const uint8_t meta[] = {0xFF,          0x51, 3, uint8_t(tempo >> 16), uint8_t(tempo >> 8),
                                uint8_t(tempo)};
        track.insert(track.end(), meta, meta + sizeof meta);
    }
    const uint8_t end[] = {0, 0xFF, 0x2F, 0};
    track.insert(track.end(), end, end + 4);
    g.events += tempos + 1;
    g.tempos = tempos;
    g.bytes.insert(g.bytes.end(), {'M', 'T', 'r', 'k'});
    put32(uint32_t(track.size()));
    g.bytes.insert(g.bytes.end(), track.begin(), track.end());

    const uint64_t perTrack = (events - tempos) / 15;
    for (int t = 1; t < 16; ++t) {
        track.clear();
        const uint8_t channel = uint8_t(t - 1);
        uint64_t n = 0;
        while (n < perTrack) {
            const uint32_t what = random() % 1000;
            if (what == 0) {
                // A sysex in three packets: F0 ..., F7 ..., F7 ... F7.
                putVarLen(track, 10);
                track.insert(track.end(), {0xF0, 6, 0x43, 0x10, 0x4C, 0, 0, 0x7E});
                putVarLen(track, 5);
                track.insert(track.end(), {0xF7, 4, 0, 1, 2, 3});
                putVarLen(track, 5);
                track.insert(track.end(), {0xF7, 3, 4, 5, 0xF7});
                n += 3;
                g.streamEvents += 7 + 4 + 3; // one byte event per byte on the wire
            } else if (what < 20) {
                // A controller run, then back to notes with a new status byte.
                const int run = 8;
                for (int i = 0; i < run; ++i) {
                    putVarLen(track, 2);
                    if (i == 0)
                        track.push_back(0xB0 | channel);
                    track.push_back(1);
                    track.push_back(uint8_t(random() % 128));
                }
                putVarLen(track, 1);
                track.insert(track.end(), {uint8_t(0xE0 | channel), 0, 0x40});
                putVarLen(track, 0);
                track.insert(track.end(), {uint8_t(0x90 | channel), 60, 64});
                n += run + 2;
                g.streamEvents += run + 2;
            } else {
                // Notes in running status; velocity 0 ends a note.
                putVarLen(track, random() % 200);
                track.push_back(uint8_t(36 + random() % 60));
                track.push_back(uint8_t(random() % 2 ? 1 + random() % 127 : 0));
                ++n;
                ++g.streamEvents;
            }
        }
        // The first event carries the status that the running notes use.
        std::vector<uint8_t> body{0, uint8_t(0x90 | channel), 60, 64};
        body.insert(body.end(), track.begin(), track.end());
        body.insert(body.end(), end, end + 4);
        g.events += n + 2;
        g.streamEvents += 1; // the first note
        g.bytes.insert(g.bytes.end(), {'M', 'T', 'r', 'k'});
        put32(uint32_t(body.size()));
        g.bytes.insert(g.bytes.end(), body.begin(), body.end());
    }
    return g;
}

struct LibraryRun {
    double seconds = 0;
    uint64_t delivered = 0; // MIDIEVENTs handed out
    long heldBytes = 0;
};

LibraryRun readWithLibrary(const std::string& path) {
    static std::vector<MIDIEVENT> batch(8192);
    LibraryRun run;
    const long before = memoryInUse();
    const double start = threadSeconds();
    uint32_t tracks = 0;
    const uint32_t smf = OpenSMF(path.c_str(), 'r', 0, &tracks);
    if (smf <= 32) {
        std::fprintf(stderr, "OpenSMF failed\n");
        std::exit(1);
    }
    for (uint32_t t = 0; t < tracks; ++t)
        while (const uint32_t n = ReadSMF(smf, t, batch.data(), 8192))
            run.delivered += n;
    run.seconds = threadSeconds() - start;
    run.heldBytes = memoryInUse() - before;
    CloseSMF(smf);
    return run;
}

LibraryRun bestOf(int times, const std::string& path) {
    LibraryRun best;
    for (int i = 0; i < times; ++i) {
        const LibraryRun run = readWithLibrary(path);
        if (i == 0 || run.seconds < best.seconds)
            best = run;
    }
    return best;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(file);
}

} // namespace

int main(int argc, char** argv) {
    const uint64_t events = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1200000;
    char folder[] = "/tmp/bench_smf.XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string large = std::string(folder) + "/large.mid";
    const std::string huge = std::string(folder) + "/huge.mid";
    const Generated big = generate(events);
    writeFile(large, big.bytes);

    std::printf("file: %llu events (%llu tempo changes), 16 tracks, %zu bytes\n",
                (unsigned long long)big.events, (unsigned long long)big.tempos, big.bytes.size());

    readWithLibrary(large); // warm the page cache and the allocator
    const LibraryRun ours = bestOf(5, large);
    const double oursRate = double(big.events) / ours.seconds;
    if (ours.delivered != big.streamEvents) {
        std::fprintf(stderr, "ReadSMF handed out %llu events, the file holds %llu\n",
                     (unsigned long long)ours.delivered, (unsigned long long)big.streamEvents);
        return 1;
    }
    std::printf(
        "ReadSMF:  %.3f s  %.1f million events/s  (%llu MIDIEVENTs handed out, as expected)\n",
        ours.seconds, oursRate / 1e6, (unsigned long long)ours.delivered);
    std::printf("          %.1f bytes per event held by the library (memory in use while open)\n",
                double(ours.heldBytes) / double(big.events));

    // Every tempo change through ReadMetaEvent, by occurrence.
    {
        uint32_t tracks = 0;
        const uint32_t smf = OpenSMF(large.c_str(), 'r', 0, &tracks);
        const double start = threadSeconds();
        uint32_t found = 0;
        uint8_t* data = nullptr;
        uint32_t length = 0;
        while (ReadMetaEvent(smf, 0, 0x51 | found << 8, &data, &length) != -1)
            ++found;
        std::printf("ReadMetaEvent: all %u tempo changes in %.4f s\n", found,
                    threadSeconds() - start);
        CloseSMF(smf);
    }

    double csvSeconds = 0;
    {
        const std::string command = "midicsv " + large + " > /dev/null";
        double best = 0;
        for (int i = 0; i < 2; ++i) {
            const double start = childSeconds();
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "midicsv failed\n");
                return 1;
            }
            const double s = childSeconds() - start;
            best = i == 0 || s < best ? s : best;
        }
        csvSeconds = best;
    }
    const double csvRate = double(big.events) / csvSeconds;
    std::printf("midicsv:  %.3f s  %.1f million events/s\n", csvSeconds, csvRate / 1e6);

    double memchrSeconds = 0;
    {
        size_t hits = 0;
        double best = 0;
        for (int i = 0; i < 5; ++i) {
            hits = 0;
            const double start = threadSeconds();
            const uint8_t* p = big.bytes.data();
            const uint8_t* const stop = p + big.bytes.size();
            while ((p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, size_t(stop - p))))) {
                ++hits;
                ++p;
            }
            const double s = threadSeconds() - start;
            best = i == 0 || s < best ? s : best;
        }
        memchrSeconds = best;
        std::printf("memchr:   %.4f s  %.1f million events/s  (%zu 0xFF bytes)\n", memchrSeconds,
                    double(big.events) / memchrSeconds / 1e6, hits);
    }
    std::printf("ratios:   ReadSMF / midicsv speed %.1f;  ReadSMF time / memchr time %.1f\n",
                oursRate / csvRate, ours.seconds / memchrSeconds);

    uint64_t hugeEvents = 0;
    {
        const Generated tenTimes = generate(events * 10);
        hugeEvents = tenTimes.events;
        writeFile(huge, tenTimes.bytes);
    }
    readWithLibrary(huge);
    const LibraryRun hugeRun = bestOf(3, huge);
    const double eventsRatio = double(hugeEvents) / double(big.events);
    const double timeRatio = hugeRun.seconds / ours.seconds;
    std::printf("linear:   %llu events %.4f s, %llu events %.4f s: %.1f times the events cost "
                "%.1f times the time\n",
                (unsigned long long)big.events, ours.seconds, (unsigned long long)hugeEvents,
                hugeRun.seconds, eventsRatio, timeRatio);
    const double held = double(ours.heldBytes) / double(big.events);
    std::printf("goals:    >= 20 million events/s: %s;  <= 32 bytes per event: %s;  "
                "10x events <= 12x time: %s\n",
                oursRate >= 20e6 ? "met" : "MISSED", held <= 32 ? "met" : "MISSED",
                timeRatio <= 1.2 * eventsRatio ? "met" : "MISSED");
    std::remove(huge.c_str());
    std::remove(large.c_str());
    rmdir(folder);
    return 0;
}
