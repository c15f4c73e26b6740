// Agreement with an independent tool: files made by csvmidi read to the
// events midicsv lists, and files we write are listed as we wrote them.
#include "midilib32.h"
#include "test_smf_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <random>
#include <sstream>

using namespace smftest;

namespace {

// Our view of a file in the listing's shape: stream items plus meta events
// found through ReadMetaEvent, in the order the listing gives them.
void expectFileMatchesListing(const std::string& path, const Listing& listing) {
    uint32_t tracks = 0;
    const uint32_t smf = OpenSMF(path.c_str(), 'r', 0, &tracks);
    ASSERT_GT(smf, 32u);
    EXPECT_EQ(int(tracks), listing.tracks);
    EXPECT_EQ(int(GetSMFResolution(smf)), listing.division);
    for (uint32_t t = 0; t < tracks; ++t) {
        SCOPED_TRACE("track " + std::to_string(t));
        std::vector<Item> expectedStream;
        std::map<int, std::vector<Item>> expectedMetas;
        if (listing.items.count(int(t)))
            for (const Item& item : listing.items.at(int(t))) {
                if (item.kind == 0xFF)
                    expectedMetas[item.bytes[0]].push_back(item);
                else if (!(item.kind == 0xF7 && item.bytes.empty()))
                    expectedStream.push_back(item);
            }
        const auto stream = groupStream(readTrack(smf, t));
        ASSERT_EQ(stream.size(), expectedStream.size());
        for (size_t i = 0; i < stream.size(); ++i)
            ASSERT_EQ(stream[i], expectedStream[i]) << "event " << i;
        for (const auto& [type, metas] : expectedMetas) {
            for (uint32_t k = 0; k <= metas.size(); ++k) {
                uint8_t* data = nullptr;
                uint32_t length = 0;
                const int32_t time = ReadMetaEvent(smf, t, uint32_t(type) | k << 8, &data, &length);
                if (k == metas.size()) {
                    EXPECT_EQ(time, -1) << "meta " << type << " has " << k << " occurrences";
                    continue;
                }
                ASSERT_EQ(time, int32_t(metas[k].time)) << "meta " << type << " #" << k;
                EXPECT_EQ(std::vector<uint8_t>(data, data + length),
                          std::vector<uint8_t>(metas[k].bytes.begin() + 1, metas[k].bytes.end()));
            }
        }
    }
    CloseSMF(smf);
}

const char* const handMadeCsv = R"(0, 0, Header, 1, 3, 384
1, 0, Start_track
1, 0, Title_t, "Conductor"
1, 0, Time_signature, 3, 2, 24, 8
1, 0, Key_signature, -2, "minor"
1, 0, Tempo, 500000
1, 384, Tempo, 400000
1, 768, Tempo, 300000
1, 768, Marker_t, "B"
1, 900, End_track
2, 0, Start_track
2, 0, Title_t, "Lead"
2, 0, Program_c, 0, 73
2, 0, Control_c, 0, 7, 100
2, 0, Note_on_c, 0, 60, 90
2, 0, Note_on_c, 0, 64, 90
2, 192, Note_off_c, 0, 60, 0
2, 192, Note_on_c, 0, 64, 0
2, 200, Pitch_bend_c, 0, 0
2, 201, Pitch_bend_c, 0, 16383
2, 300, Poly_aftertouch_c, 0, 64, 12
2, 301, Channel_aftertouch_c, 0, 99
2, 400, System_exclusive, 5, 126, 127, 9, 1, 247
2, 500, System_exclusive, 3, 67, 16, 76
2, 510, System_exclusive_packet, 3, 0, 0, 247
2, 520, System_exclusive_packet, 2, 243, 1
2, 600, Text_t, "after"
2, 700, End_track
3, 0, Start_track
3, 0, Note_on_c, 9, 36, 127
3, 0, Note_on_c, 9, 42, 127
3, 96, Note_on_c, 9, 36, 0
3, 96, Note_on_c, 9, 42, 0
3, 100000, Note_on_c, 15, 127, 1
3, 100000, End_track
0, 0, End_of_file
)";

TEST(SmfMidicsv, FilesMadeByCsvmidiReadToTheEventsMidicsvLists) {
    TempDir dir;
    { std::ofstream(dir.file("in.csv")) << handMadeCsv; }
    run("csvmidi " + dir.file("in.csv") + " " + dir.file("in.mid"));
    const Listing listing = parseListing(run("midicsv " + dir.file("in.mid")));
    ASSERT_EQ(listing.tracks, 3);
    ASSERT_EQ(listing.items.at(1).size(), 16u) << "the listing parser saw every line";
    expectFileMatchesListing(dir.file("in.mid"), listing);
}

// A random file written by us; returns what it holds in the listing's shape.
Listing writeRandomFile(const std::string& path, unsigned seed) {
    std::mt19937 random(seed);
    auto below = [&](uint32_t n) { return uint32_t(random() % n); };
    Listing written;
    written.format = 1;
    written.tracks = 1 + int(below(4));
    written.division = 96 + int(below(900));
    uint32_t tracks = uint32_t(written.tracks);
    const uint32_t smf = OpenSMF(path.c_str(), 'w', 1, &tracks);
    EXPECT_GT(smf, 32u);
    EXPECT_EQ(SetSMFResolution(smf, uint32_t(written.division)), 0u);
    for (uint32_t t = 0; t < tracks; ++t) {
        uint32_t now = 0;
        std::vector<Item>& items = written.items[int(t)];
        for (int i = 0, n = int(below(400)); i < n; ++i) {
            const uint32_t delta = below(8) == 0 ? below(0x0FFFFFFF / 1024) : below(200);
            now += delta;
            const uint32_t what = below(20);
            if (what == 0) {
                // A tempo change: meta events come at the time of the previous event.
                now -= delta;
                const uint32_t tempo = 100000 + below(900000);
                const uint8_t data[] = {uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)};
                EXPECT_EQ(WriteMetaEvent(smf, t, 0x51, data, 3), 0u);
                items.push_back(Item{now, 0xFF, {0x51, data[0], data[1], data[2]}});
            } else if (what == 1) {
                // A sysex, whole or as the first of packets, with the rest as escapes.
                std::vector<MIDIEVENT> events{{delta, 0xF0, 0xF0, 1, 0}};
                Item item{now, 0xF0, {}};
                for (uint32_t k = 0, len = below(300); k < len; ++k) {
                    item.bytes.push_back(uint8_t(below(128)));
                    events.push_back(MIDIEVENT{0, 0xF0, item.bytes.back(), 0, 0});
                }
                if (below(2)) {
                    item.bytes.push_back(0xF7);
                    events.push_back(MIDIEVENT{0, 0xF0, 0xF7, 0, 0});
                }
                items.push_back(item);
                EXPECT_EQ(WriteSMF(smf, t, events.data(), uint32_t(events.size())), events.size());
                const uint32_t gap = below(50);
                now += gap;
                MIDIEVENT escape[] = {{gap, 0xF7, 0x01, 1, 0}, {0, 0xF7, 0xF7, 0, 0}};
                items.push_back(Item{now, 0xF7, {0x01, 0xF7}});
                EXPECT_EQ(WriteSMF(smf, t, escape, 2), 2u);
            } else {
                static const uint8_t kinds[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
                // Long runs of one status exercise running status.
                const uint8_t status = uint8_t((what < 12 ? 0x90 : kinds[below(7)]) | below(16));
                MIDIEVENT e{delta, status, uint8_t(below(128)), uint8_t(below(128)), 0};
                Item item{now, status, {status, e.data1}};
                if ((status & 0xE0) == 0xC0)
                    e.data2 = 0;
                else
                    item.bytes.push_back(e.data2);
                items.push_back(item);
                EXPECT_EQ(WriteSMF(smf, t, &e, 1), 1u);
            }
        }
    }
    EXPECT_EQ(CloseSMF(smf), 0u);
    return written;
}

TEST(SmfMidicsv, FilesWeWriteAreListedExactlyAsWritten) {
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir dir;
        const Listing written = writeRandomFile(dir.file("ours.mid"), seed);
        const Listing listed = parseListing(run("midicsv " + dir.file("ours.mid")));
        EXPECT_EQ(listed.format, 1);
        EXPECT_EQ(listed.tracks, written.tracks);
        EXPECT_EQ(listed.division, written.division);
        for (int t = 0; t < written.tracks; ++t) {
            const auto& want = written.items.at(t);
            const auto& got = listed.items.count(t) ? listed.items.at(t) : std::vector<Item>{};
            ASSERT_EQ(got.size(), want.size()) << "track " << t;
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(got[i], want[i]) << "track " << t << " event " << i;
        }
        // And csvmidi's rendering of that listing reads back the same.
        std::ofstream(dir.file("ours.csv")) << run("midicsv " + dir.file("ours.mid"));
        run("csvmidi " + dir.file("ours.csv") + " " + dir.file("again.mid"));
        expectFileMatchesListing(dir.file("again.mid"), written);
    }
}

// ---- Files of an independent generator ---------------------------------------

// Runs scripts/smfgen.py, which writes files from the format alone (running
// status across kinds, sysex split into F7 packets, escapes of real-time
// bytes, meta events in every track, four-byte deltas); its counts by name.
std::map<std::string, uint64_t> generateIndependent(const std::string& path, unsigned seed,
                                                    int events, int tracks) {
    const char* root = std::getenv("TONYX_SOURCE_DIR");
    std::istringstream counts(run("python3 " + std::string(root ? root : "../..") +
                                  "/scripts/smfgen.py --seed " + std::to_string(seed) +
                                  " --events " + std::to_string(events) + " --tracks " +
                                  std::to_string(tracks) + " --out " + path));
    std::map<std::string, uint64_t> byName;
    std::string name;
    uint64_t value = 0;
    while (counts >> name >> value)
        byName[name] = value;
    return byName;
}

TEST(SmfMidicsv, FilesOfAnIndependentGeneratorReadToTheEventsItAndMidicsvCount) {
    struct Case {
        unsigned seed;
        int events;
        int tracks;
    };
    const Case cases[] = {{1, 3000, 2}, {2, 24000, 16}, {3, 8000, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        TempDir dir;
        const std::string path = dir.file("independent.mid");
        auto counts = generateIndependent(path, c.seed, c.events, c.tracks);
        ASSERT_GE(counts["events"], uint64_t(c.events)) << "the generator ran";
        const Listing listing = parseListing(run("midicsv " + path));
        ASSERT_EQ(listing.tracks, c.tracks);
        uint64_t listed = listing.endTimes.size();
        uint64_t tempos = 0;
        for (const auto& [track, items] : listing.items) {
            listed += items.size();
            tempos += uint64_t(std::count_if(items.begin(), items.end(), [](const Item& item) {
                return item.kind == 0xFF && item.bytes[0] == 0x51;
            }));
        }
        EXPECT_EQ(listed, counts["events"]) << "midicsv lists what the generator wrote";
        EXPECT_EQ(tempos, counts["tempos"]);
        expectFileMatchesListing(path, listing);

        // And the events ReadSMF hands out: a byte event per byte on the wire.
        uint32_t tracks = 0;
        const uint32_t smf = OpenSMF(path.c_str(), 'r', 0, &tracks);
        ASSERT_GT(smf, 32u);
        for (uint32_t t = 0; t < tracks; ++t)
            EXPECT_EQ(readTrack(smf, t, 1000).size(), counts["track." + std::to_string(t)])
                << "track " << t;
        CloseSMF(smf);
    }
}

// ---- Copying a file through the entry points ------------------------------------

struct Meta {
    uint32_t time;
    uint8_t type;
    std::vector<uint8_t> data;
};

// Every meta event of a track, in time order.
std::vector<Meta> readMetas(uint32_t smf, uint32_t track) {
    std::vector<Meta> metas;
    for (uint32_t type = 0; type < 0x80; ++type)
        for (uint32_t k = 0;; ++k) {
            uint8_t* data = nullptr;
            uint32_t length = 0;
            const int32_t time = ReadMetaEvent(smf, track, type | k << 8, &data, &length);
            if (time < 0)
                break;
            metas.push_back(
                Meta{uint32_t(time), uint8_t(type), std::vector<uint8_t>(data, data + length)});
        }
    // The end of the track comes last, also among meta events of its time.
    std::stable_sort(metas.begin(), metas.end(), [](const Meta& a, const Meta& b) {
        return a.time != b.time ? a.time < b.time : a.type != 0x2F && b.type == 0x2F;
    });
    return metas;
}

// Reads `from` and writes it to `to`: each track's events with its meta
// events put back at their times (rests before them), and its end where it was.
void copyThroughTheApi(const std::string& from, const std::string& to) {
    uint32_t tracks = 0;
    const uint32_t in = OpenSMF(from.c_str(), 'r', 0, &tracks);
    ASSERT_GT(in, 32u);
    uint32_t outTracks = tracks;
    const uint32_t out = OpenSMF(to.c_str(), 'w', tracks > 1 ? 1 : 0, &outTracks);
    ASSERT_GT(out, 32u);
    ASSERT_EQ(SetSMFResolution(out, GetSMFResolution(in)), 0u);
    for (uint32_t t = 0; t < tracks; ++t) {
        const std::vector<MIDIEVENT> events = readTrack(in, t);
        const std::vector<Meta> metas = readMetas(in, t);
        uint32_t written = 0; // the time of the last thing written
        uint32_t now = 0;     // the time of the next event
        size_t m = 0;
        auto metasUpTo = [&](uint32_t time, bool endToo) {
            for (; m < metas.size() && metas[m].time <= time; ++m) {
                if (metas[m].type == 0x2F && !endToo)
                    break;
                MIDIEVENT rest{metas[m].time - written, 0xFF, 0, 0, 0};
                ASSERT_EQ(WriteSMF(out, t, &rest, 1), 1u);
                written = metas[m].time;
                ASSERT_EQ(WriteMetaEvent(out, t, metas[m].type, metas[m].data.data(),
                                         uint32_t(metas[m].data.size())),
                          0u);
            }
        };
        uint8_t previous = 0;
        for (const MIDIEVENT& e : events) {
            now += e.time;
            // A packet's later bytes belong to it: no meta event between them.
            const bool continues = (e.status == 0xF0 || e.status == 0xF7) && e.status == previous &&
                                   e.time == 0 && !(e.data2 & 1);
            if (!continues)
                metasUpTo(now, false);
            MIDIEVENT copy = e;
            copy.time = now - written;
            ASSERT_EQ(WriteSMF(out, t, &copy, 1), 1u);
            written = now;
            previous = e.status;
        }
        metasUpTo(UINT32_MAX, true);
    }
    EXPECT_EQ(CloseSMF(in), 0u);
    ASSERT_EQ(CloseSMF(out), 0u);
}

// midicsv's lines of each track, sorted: the same events at the same times,
// whatever their order within one tick.
std::map<int, std::vector<std::string>> eventsByTrack(const std::string& path) {
    std::map<int, std::vector<std::string>> tracks;
    std::istringstream listing(run("midicsv " + path));
    for (std::string line; std::getline(listing, line);) {
        const auto f = splitCsv(line);
        if (f.size() < 3 || f[2] == "Header" || f[2] == "End_of_file")
            continue;
        tracks[std::stoi(f[0])].push_back(
            (std::ostringstream() << std::setw(12) << std::stoll(f[1]) << line).str());
    }
    for (auto& [track, lines] : tracks)
        std::sort(lines.begin(), lines.end());
    return tracks;
}

const char* const kTempoMapCsv = R"(0, 0, Header, 1, 2, 480
1, 0, Start_track
1, 0, Tempo, 500000
1, 960, Tempo, 400000
1, 1920, End_track
2, 0, Start_track
2, 0, Note_on_c, 0, 60, 90
2, 700, Note_off_c, 0, 60, 0
2, 700, Marker_t, "after the last note"
2, 960, End_track
0, 0, End_of_file
)";

TEST(SmfCopy, AFileCopiedThroughTheApiHoldsTheSameEventsAtTheSameTimes) {
    TempDir dir;
    struct Source {
        const char* name;
        std::function<void(const std::string&)> make;
    };
    auto fromCsv = [&](const char* csv) {
        return [&dir, csv](const std::string& path) {
            std::ofstream(dir.file("in.csv")) << csv;
            run("csvmidi " + dir.file("in.csv") + " " + path);
        };
    };
    const Source sources[] = {
        {"tempo map and track ends", fromCsv(kTempoMapCsv)},
        {"hand-made", fromCsv(handMadeCsv)},
        {"random 1", [](const std::string& path) { (void)writeRandomFile(path, 11); }},
        {"random 2", [](const std::string& path) { (void)writeRandomFile(path, 12); }},
        {"random 3", [](const std::string& path) { (void)writeRandomFile(path, 13); }},
    };
    for (const Source& source : sources) {
        SCOPED_TRACE(source.name);
        const std::string in = dir.file("in.mid");
        const std::string out = dir.file("out.mid");
        source.make(in);
        copyThroughTheApi(in, out);
        const auto want = eventsByTrack(in);
        const auto got = eventsByTrack(out);
        ASSERT_EQ(got.size(), want.size());
        for (const auto& [track, lines] : want)
            EXPECT_EQ(got.at(track), lines) << "track " << track;
    }
}

TEST(SmfCopy, RestsPlaceMetaEventsAndTheEndOfATrack) {
    TempDir dir;
    uint32_t tracks = 1;
    const uint32_t smf = OpenSMF(dir.file("w.mid").c_str(), 'w', 0, &tracks);
    ASSERT_GT(smf, 32u);
    MIDIEVENT events[] = {{0, 0x90, 60, 90, 0}, {700, 0x80, 60, 0, 0}, {260, 0xFF, 0, 0, 0}};
    ASSERT_EQ(WriteSMF(smf, 0, events, 3), 3u);
    const uint8_t tempo[] = {0x06, 0x1A, 0x80};
    ASSERT_EQ(WriteMetaEvent(smf, 0, 0x51, tempo, 3), 0u);
    MIDIEVENT rests[] = {{500, 0xFF, 0, 0, 0}, {460, 0xFF, 0, 0, 0}};
    ASSERT_EQ(WriteSMF(smf, 0, rests, 2), 2u);
    MIDIEVENT tooFar{0x0FFFFFFF, 0xFF, 0, 0, 0};
    EXPECT_EQ(WriteSMF(smf, 0, &tooFar, 1), 0u) << "rests add up to no more than a delta holds";
    ASSERT_EQ(CloseSMF(smf), 0u) << "the rests left over set the track's length";

    const uint32_t r = OpenSMF(dir.file("w.mid").c_str(), 'r', 0, &tracks);
    ASSERT_GT(r, 32u);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(ReadMetaEvent(r, 0, 0x51, &data, &length), 960);
    EXPECT_EQ(ReadMetaEvent(r, 0, 0x2F, &data, &length), 1920);
    const auto stream = readTrack(r, 0);
    ASSERT_EQ(stream.size(), 2u) << "a rest is no event";
    EXPECT_EQ(stream[1].time, 700u);
    CloseSMF(r);
}

} // namespace
