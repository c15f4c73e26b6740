// Agreement with an independent tool: files made by csvmidi read to the
// events midicsv lists, and files we write are listed as we wrote them.
#include "midilib32.h"
#include "test_smf_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

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

} // namespace
