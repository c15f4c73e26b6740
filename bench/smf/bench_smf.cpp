// Reading large Standard MIDI Files: the library through ReadSMF, midicsv,
// and a bare decode loop over the same bytes, in one run, on two files:
// - the benchmark's own generated file: 16 tracks, a conductor track with
//   tens of thousands of tempo changes, and 15 tracks of notes in running
//   status, controller and pitch-bend runs, and sysex messages split into an
//   F0 packet and F7 packets;
// - a file made by scripts/smfgen.py, a generator written from the file
//   format apart from the library (about 1.6 million events in 16 tracks,
//   with running status, tempo changes, sysex and F7 packets, meta events).
//
// bench_smf [events [independent-events]]   (default 1200000 and 1600000;
// the linearity check also reads a file with ten times the first number)
//
// Times are CPU times (the reading thread's, and midicsv's user + system
// time), so that other work on a shared machine does not count; memory is
// the heap the library holds while the file is open and fully read.
#include "bench/loadaverage.h"
#include "midilib32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <map>
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

// The floor: the least any reader does. It walks each track chunk's events,
// reading the delta, the status (a data byte runs on the last one) and each
// length, and skips the data. Returns the events it passed.
uint64_t decodeWalk(const std::vector<uint8_t>& bytes) {
    const uint8_t* p = bytes.data();
    const uint8_t* const end = p + bytes.size();
    auto varLen = [](const uint8_t*& q, const uint8_t* stop) {
        uint32_t n = 0;
        while (q < stop && (*q & 0x80))
            n = n << 7 | (*q++ & 0x7F);
        if (q < stop)
            n = n << 7 | *q++;
        return n;
    };
    uint64_t events = 0;
    p += 8 + (uint32_t(p[4]) << 24 | uint32_t(p[5]) << 16 | uint32_t(p[6]) << 8 | p[7]);
    while (end - p >= 8) {
        const uint32_t length =
            uint32_t(p[4]) << 24 | uint32_t(p[5]) << 16 | uint32_t(p[6]) << 8 | p[7];
        const bool track = std::memcmp(p, "MTrk", 4) == 0;
        p += 8;
        const uint8_t* const stop = p + std::min<size_t>(length, size_t(end - p));
        uint8_t running = 0;
        while (track && p < stop) {
            (void)varLen(p, stop);
            if (p >= stop)
                break;
            uint8_t status = *p;
            if (status & 0x80)
                ++p;
            else
                status = running;
            if (status < 0xF0) {
                running = status;
                p += (status & 0xE0) == 0xC0 ? 1 : 2;
            } else {
                if (status == 0xFF)
                    ++p;
                const uint32_t n = varLen(p, stop);
                p += std::min<size_t>(n, size_t(stop - p));
            }
            ++events;
        }
        p = stop;
    }
    return events;
}

struct DecodeRun {
    double seconds = 0;
    uint64_t events = 0;
};

DecodeRun bestDecode(int times, const std::vector<uint8_t>& bytes) {
    DecodeRun best;
    for (int i = 0; i < times; ++i) {
        const double start = threadSeconds();
        const uint64_t events = decodeWalk(bytes);
        const double s = threadSeconds() - start;
        if (i == 0 || s < best.seconds)
            best = {s, events};
    }
    return best;
}

// midicsv's CPU time on `path` (best of `times`, written to /dev/null).
double midicsvSeconds(int times, const std::string& path) {
    const std::string command = "midicsv " + path + " > /dev/null";
    double best = 0;
    for (int i = 0; i < times; ++i) {
        const double start = childSeconds();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "midicsv failed\n");
            std::exit(1);
        }
        const double s = childSeconds() - start;
        best = i == 0 || s < best ? s : best;
    }
    return best;
}

// The events midicsv lists in `path`: its lines less the header, each
// track's start line and the end-of-file line.
uint64_t midicsvEvents(const std::string& path, int tracks) {
    FILE* pipe = popen(("midicsv " + path).c_str(), "r");
    if (!pipe)
        return 0;
    uint64_t lines = 0;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        lines += uint64_t(std::count(buffer, buffer + n, '\n'));
    if (pclose(pipe) != 0)
        return 0;
    return lines - uint64_t(tracks) - 2;
}

uint32_t tempoChanges(const std::string& path) {
    uint32_t tracks = 0;
    const uint32_t smf = OpenSMF(path.c_str(), 'r', 0, &tracks);
    uint32_t found = 0;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    while (ReadMetaEvent(smf, 0, 0x51 | found << 8, &data, &length) != -1)
        ++found;
    CloseSMF(smf);
    return found;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(file);
    }
    return bytes;
}

// Makes the independent file with the generator; its counts by name, empty
// when it could not run.
std::map<std::string, uint64_t> generateIndependent(const std::string& path, uint64_t events) {
    std::map<std::string, uint64_t> counts;
    const std::string command = std::string("python3 ") + TONYX_SMFGEN + " --seed 1 --events " +
                                std::to_string(events) + " --out " + path;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return counts;
    char name[64];
    unsigned long long value = 0;
    while (std::fscanf(pipe, "%63s %llu", name, &value) == 2)
        counts[name] = value;
    if (pclose(pipe) != 0)
        counts.clear();
    return counts;
}

// ReadSMF, the bare decode loop and midicsv on the generator's file.
bool independentFile(const std::string& folder, uint64_t events) {
    const std::string path = folder + "/independent.mid";
    std::printf("\nindependent file: python3 scripts/smfgen.py --seed 1 --events %llu\n",
                (unsigned long long)events);
    auto counts = generateIndependent(path, events);
    if (counts.empty()) {
        std::printf("  the generator did not run (python3 %s)\n", TONYX_SMFGEN);
        return false;
    }
    const uint64_t fileEvents = counts["events"];
    std::printf("  %llu events in 16 tracks: %llu channel messages, %llu tempo changes, %llu "
                "other meta events, %llu F0 and %llu F7 events; %llu bytes\n",
                (unsigned long long)fileEvents, (unsigned long long)counts["channel"],
                (unsigned long long)counts["tempos"],
                (unsigned long long)(counts["metas"] - counts["tempos"]),
                (unsigned long long)counts["sysex"], (unsigned long long)counts["escapes"],
                (unsigned long long)counts["bytes"]);
    bool agreed = true;
    readWithLibrary(path); // warm the page cache and the allocator
    const LibraryRun ours = bestOf(5, path);
    agreed &= ours.delivered == counts["stream"];
    std::printf("  ReadSMF:  %.4f s  %.1f million events/s  (%llu MIDIEVENTs handed out, %s)\n",
                ours.seconds, double(fileEvents) / ours.seconds / 1e6,
                (unsigned long long)ours.delivered,
                ours.delivered == counts["stream"] ? "as the generator counted" : "WRONG COUNT");
    const uint32_t tempos = tempoChanges(path);
    agreed &= tempos == counts["tempos"];
    std::printf("  ReadMetaEvent: %u tempo changes (%s)\n", tempos,
                tempos == counts["tempos"] ? "as the generator counted" : "WRONG COUNT");
    const std::vector<uint8_t> bytes = readFile(path);
    const DecodeRun floor = bestDecode(5, bytes);
    agreed &= floor.events == fileEvents;
    std::printf("  bare decode loop: %.4f s  %.1f million events/s  (%llu events, %s)\n",
                floor.seconds, double(fileEvents) / floor.seconds / 1e6,
                (unsigned long long)floor.events,
                floor.events == fileEvents ? "as the generator counted" : "WRONG COUNT");
    const double csv = midicsvSeconds(2, path);
    const uint64_t listed = midicsvEvents(path, 16);
    agreed &= listed == fileEvents;
    std::printf("  midicsv:  %.3f s  %.1f million events/s  (lists %llu events, %s)\n", csv,
                double(fileEvents) / csv / 1e6, (unsigned long long)listed,
                listed == fileEvents ? "as the generator counted" : "WRONG COUNT");
    std::printf("  ratios:   ReadSMF / midicsv speed %.1f;  ReadSMF time / decode loop time %.2f\n",
                csv / ours.seconds, ours.seconds / floor.seconds);
    std::remove(path.c_str());
    return agreed;
}

} // namespace

int main(int argc, char** argv) {
    const uint64_t events = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1200000;
    const uint64_t independentEvents = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1600000;
    char folder[] = "/tmp/bench_smf.XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    std::printf("load average (1, 5, 15 min) at the start: %s\n", loadAverage().c_str());
    const std::string large = std::string(folder) + "/large.mid";
    const std::string huge = std::string(folder) + "/huge.mid";
    const Generated big = generate(events);
    writeFile(large, big.bytes);

    std::printf("the benchmark's own generated file: %llu events (%llu tempo changes), 16 "
                "tracks, %zu bytes\n",
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
        "  ReadSMF:  %.4f s  %.1f million events/s  (%llu MIDIEVENTs handed out, as expected)\n",
        ours.seconds, oursRate / 1e6, (unsigned long long)ours.delivered);
    std::printf("          %.1f bytes per event held by the library (memory in use while open)\n",
                double(ours.heldBytes) / double(big.events));

    // Every tempo change through ReadMetaEvent, by occurrence.
    {
        const double start = threadSeconds();
        const uint32_t found = tempoChanges(large);
        std::printf("  ReadMetaEvent: all %u tempo changes in %.4f s (open and close included)\n",
                    found, threadSeconds() - start);
    }

    const double csvSeconds = midicsvSeconds(2, large);
    const double csvRate = double(big.events) / csvSeconds;
    std::printf("  midicsv:  %.3f s  %.1f million events/s\n", csvSeconds, csvRate / 1e6);

    const DecodeRun floor = bestDecode(5, big.bytes);
    std::printf("  bare decode loop: %.4f s  %.1f million events/s  (%llu events)\n", floor.seconds,
                double(big.events) / floor.seconds / 1e6, (unsigned long long)floor.events);

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
        std::printf("  memchr:   %.4f s  %.1f million events/s  (%zu 0xFF bytes)\n", memchrSeconds,
                    double(big.events) / memchrSeconds / 1e6, hits);
    }
    std::printf("  ratios:   ReadSMF / midicsv speed %.1f;  ReadSMF time / decode loop time "
                "%.2f;  ReadSMF time / memchr time %.1f\n",
                oursRate / csvRate, ours.seconds / floor.seconds, ours.seconds / memchrSeconds);

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
    std::printf("  linear:   %llu events %.4f s, %llu events %.4f s: %.1f times the events cost "
                "%.1f times the time\n",
                (unsigned long long)big.events, ours.seconds, (unsigned long long)hugeEvents,
                hugeRun.seconds, eventsRatio, timeRatio);
    const double held = double(ours.heldBytes) / double(big.events);
    std::printf("  goals:    >= 20 million events/s: %s;  <= 32 bytes per event: %s;  "
                "10x events <= 12x time: %s\n",
                oursRate >= 20e6 ? "met" : "MISSED", held <= 32 ? "met" : "MISSED",
                timeRatio <= 1.2 * eventsRatio ? "met" : "MISSED");
    std::remove(huge.c_str());
    std::remove(large.c_str());

    const bool agreed = independentFile(folder, independentEvents);
    std::printf("load average at the end: %s\n", loadAverage().c_str());
    rmdir(folder);
    return agreed ? 0 : 1;
}
