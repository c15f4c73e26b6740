// Standard MIDI Files through the library's C entry points: exact bytes
// written, events read back, damaged files, and misuse of handles.
#include "midilib32.h"
#include "test_smf_util.h"
#include "tests/core/filefixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using smftest::Item;
using smftest::readTrack;
using smftest::TempDir;

namespace {

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string fixture(const std::string& name) {
    const char* root = std::getenv("TONYX_SOURCE_DIR");
    return std::string(root ? root : "../..") + "/tests/midilib32/data/" + name;
}

bool sameEvent(const MIDIEVENT& a, const MIDIEVENT& b) {
    return a.time == b.time && a.status == b.status && a.data1 == b.data1 && a.data2 == b.data2 &&
           a.data3 == b.data3;
}

std::string show(const MIDIEVENT& e) {
    char text[64];
    std::snprintf(text, sizeof text, "{%u, %02X, %02X, %02X, %02X}", e.time, e.status, e.data1,
                  e.data2, e.data3);
    return text;
}

// The tempo track and the piano track of the golden file, as the stream
// carries them.
const std::vector<MIDIEVENT> pianoEvents{
    {0, 0xC0, 0x00, 0, 0},
    {0, 0x90, 0x3C, 0x40, 0},
    {0, 0x90, 0x40, 0x40, 0},
    {96, 0x80, 0x3C, 0, 0},
    {0, 0x80, 0x40, 0, 0},
    // a whole sysex message: F0 7E 7F 09 01 F7
    {200, 0xF0, 0xF0, 1, 0},
    {0, 0xF0, 0x7E, 0, 0},
    {0, 0xF0, 0x7F, 0, 0},
    {0, 0xF0, 0x09, 0, 0},
    {0, 0xF0, 0x01, 0, 0},
    {0, 0xF0, 0xF7, 0, 0},
    // a sysex split in two packets, the second one an escape ten ticks later
    {0, 0xF0, 0xF0, 1, 0},
    {0, 0xF0, 0x43, 0, 0},
    {0, 0xF0, 0x12, 0, 0},
    {10, 0xF7, 0x00, 1, 0},
    {0, 0xF7, 0xF7, 0, 0},
    // a delta that takes three bytes
    {0x4000, 0xE0, 0x00, 0x40, 0},
};

const std::vector<uint8_t> goldenBytes{
    'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,
    1,    0,    2,    0,    0x60,                         // format 1, 2 tracks, 96 per quarter
    'M',  'T',  'r',  'k',  0,    0,    0,    20,         //
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,             // tempo 500000
    0x00, 0xFF, 0x03, 0x05, 'T',  'e',  'm',  'p',  'o',  // name
    0x00, 0xFF, 0x2F, 0x00,                               //
    'M',  'T',  'r',  'k',  0,    0,    0,    55,         //
    0x00, 0xFF, 0x03, 0x05, 'P',  'i',  'a',  'n',  'o',  // name, written as text
    0x00, 0xC0, 0x00,                                     //
    0x00, 0x90, 0x3C, 0x40,                               //
    0x00, 0x40, 0x40,                                     // running status
    0x60, 0x80, 0x3C, 0x00,                               //
    0x00, 0x40, 0x00,                                     //
    0x81, 0x48, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, //
    0x00, 0xF0, 0x02, 0x43, 0x12,                         // first packet, no F7
    0x0A, 0xF7, 0x02, 0x00, 0xF7,                         // continuation
    0x81, 0x80, 0x00, 0xE0, 0x00, 0x40,                   // sysex ended running status
    0x00, 0xFF, 0x2F, 0x00,                               //
};

void writeGolden(const std::string& path) {
    uint32_t tracks = 2;
    const uint32_t smf = OpenSMF(path.c_str(), 'w', 1, &tracks);
    ASSERT_GT(smf, 32u);
    ASSERT_EQ(tracks, 2u);
    ASSERT_EQ(SetSMFResolution(smf, 96), 0u);
    const uint8_t tempo[] = {0x07, 0xA1, 0x20};
    ASSERT_EQ(WriteMetaEvent(smf, 0, 0x51, tempo, 3), 0u);
    ASSERT_EQ(WriteMetaEvent(smf, 0, 3, reinterpret_cast<const uint8_t*>("Tempo!"), 5), 0u);
    ASSERT_EQ(WriteMetaEvent(smf, 1, 3, reinterpret_cast<const uint8_t*>("Piano"), 0), 0u);
    auto events = pianoEvents;
    // In two calls, splitting the first sysex: a packet may span calls.
    ASSERT_EQ(WriteSMF(smf, 1, events.data(), 7), 7u);
    ASSERT_EQ(WriteSMF(smf, 1, events.data() + 7, uint32_t(events.size() - 7)), events.size() - 7);
    ASSERT_EQ(CloseSMF(smf), 0u);
}

TEST(SmfGolden, WritesExactBytesAndReadsEveryEventBack) {
    TempDir dir;
    const std::string path = dir.file("golden.mid");
    writeGolden(path);
    ASSERT_EQ(fileBytes(path), goldenBytes);

    uint32_t tracks = 0;
    const uint32_t smf = OpenSMF(path.c_str(), 'r', 0, &tracks);
    ASSERT_GT(smf, 32u);
    EXPECT_EQ(tracks, 2u);
    EXPECT_EQ(GetSMFResolution(smf), 96u);
    EXPECT_TRUE(readTrack(smf, 0).empty()) << "meta events stay out of the stream";
    // Small batches cross packets and events at every boundary.
    for (const uint32_t room : {1u, 3u, 8192u}) {
        SCOPED_TRACE(room);
        ASSERT_EQ(RewindSMF(smf), 0u);
        const auto read = readTrack(smf, 1, room);
        ASSERT_EQ(read.size(), pianoEvents.size());
        for (size_t i = 0; i < read.size(); ++i)
            EXPECT_TRUE(sameEvent(read[i], pianoEvents[i]))
                << i << ": " << show(read[i]) << " != " << show(pianoEvents[i]);
    }

    uint8_t* data = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(ReadMetaEvent(smf, 1, 3, &data, &length), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), "Piano");
    ASSERT_EQ(ReadMetaEvent(smf, 0, 0x51, &data, &length), 0);
    EXPECT_EQ(std::vector<uint8_t>(data, data + length), (std::vector<uint8_t>{7, 0xA1, 0x20}));
    EXPECT_EQ(ReadMetaEvent(smf, 0, 0x58, &data, &length), -1);
    EXPECT_EQ(ReadMetaEvent(smf, 0, 0x51 | 1 << 8, &data, &length), -1) << "only one tempo";
    EXPECT_EQ(ReadMetaEvent(smf, 2, 3, &data, &length), -1) << "no such track";
    EXPECT_EQ(CloseSMF(smf), 0u);
}

TEST(SmfRead, MetaTimesAndOccurrencesAndFoldedDeltas) {
    // Track: note at 10, tempo at 30 (delta 20), note at 35 (delta 5),
    // tempo at 35, name at 40, end at 50.
    const std::vector<uint8_t> bytes{
        'M', 'T',  'h',  'd', 0,  0,    0,  6, 0,    0,    0,    1,   1,  0xE0, 'M',  'T', 'r', 'k',
        0,   0,    0,    30,  10, 0x90, 60, 1, 20,   0xFF, 0x51, 3,   1,  2,    3,    5,   60,  0,
        0,   0xFF, 0x51, 3,   4,  5,    6,  5, 0xFF, 0x03, 1,    'x', 10, 0xFF, 0x2F, 0,
    };
    TempDir dir;
    writeBytes(dir.file("m.mid"), bytes);
    uint32_t tracks = 0;
    const uint32_t smf = OpenSMF(dir.file("m.mid").c_str(), 'r', 0, &tracks);
    ASSERT_GT(smf, 32u);
    EXPECT_EQ(GetSMFResolution(smf), 480u);
    const auto events = readTrack(smf, 0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].time, 10u);
    EXPECT_EQ(events[1].time, 25u) << "the tempo's delta moves to the next note";
    EXPECT_EQ(events[1].data2, 0);

    uint8_t* data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(ReadMetaEvent(smf, 0, 0x51, &data, &length), 30);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(ReadMetaEvent(smf, 0, 0x51 | 1 << 8, &data, &length), 35);
    EXPECT_EQ(data[0], 4);
    EXPECT_EQ(ReadMetaEvent(smf, 0, 0x51 | 2 << 8, &data, &length), -1);
    EXPECT_EQ(ReadMetaEvent(smf, 0, 0x03, &data, &length), 40);
    EXPECT_EQ(ReadMetaEvent(smf, 0, 0x2F, &data, &length), 50);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(CloseSMF(smf), 0u);
}

// Damaged files: refused, or read up to the damage.
struct Damaged {
    const char* file;
    bool opens;
    std::vector<size_t> events; // per track
};

class SmfDamaged : public testing::TestWithParam<Damaged> {};

TEST_P(SmfDamaged, RefusedOrReadUpToTheDamage) {
    const Damaged& c = GetParam();
    uint32_t tracks = 12345;
    const uint32_t smf = OpenSMF(fixture(c.file).c_str(), 'r', 0, &tracks);
    if (!c.opens) {
        EXPECT_LE(smf, 32u);
        return;
    }
    ASSERT_GT(smf, 32u);
    ASSERT_EQ(tracks, c.events.size());
    for (uint32_t t = 0; t < tracks; ++t) {
        EXPECT_EQ(readTrack(smf, t).size(), c.events[t]) << "track " << t;
        uint8_t* data = nullptr;
        uint32_t length = 0;
        for (uint32_t type = 0; type < 128; ++type) {
            if (ReadMetaEvent(smf, t, type, &data, &length) != -1) {
                EXPECT_NE(data, nullptr);
            }
        }
    }
    EXPECT_EQ(CloseSMF(smf), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, SmfDamaged,
    testing::Values(
        Damaged{"empty.mid", false, {}}, Damaged{"not-midi.mid", false, {}},
        Damaged{"short-header.mid", false, {}}, Damaged{"header-length-past-end.mid", false, {}},
        Damaged{"truncated.mid", true, {0, 5}}, Damaged{"chunk-length-past-end.mid", true, {3}},
        Damaged{"bad-varlen.mid", true, {2}}, Damaged{"missing-status.mid", true, {0}},
        Damaged{"sysex-length-past-end.mid", true, {1}},
        Damaged{"meta-length-past-end.mid", true, {1}}, Damaged{"cut-data-byte.mid", true, {1}},
        Damaged{"status-in-data.mid", true, {1}}, Damaged{"realtime-in-file.mid", true, {1}},
        Damaged{"unknown-chunk.mid", true, {2, 1}}),
    [](const testing::TestParamInfo<Damaged>& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        for (char& c : name)
            if (c == '-')
                c = '_';
        return name;
    });

TEST(SmfWrite, RefusesEventsItCannotWriteAndStopsThere) {
    TempDir dir;
    uint32_t tracks = 1;
    const uint32_t smf = OpenSMF(dir.file("w.mid").c_str(), 'w', 0, &tracks);
    ASSERT_GT(smf, 32u);
    struct Case {
        MIDIEVENT bad;
        const char* why;
    };
    const Case cases[] = {
        {{0, 0x40, 1, 2, 0}, "data byte as status"},
        {{0, 0x90, 0x80, 2, 0}, "data1 above 127"},
        {{0, 0xB0, 1, 0x80, 0}, "data2 above 127"},
        {{0x10000000, 0x90, 1, 2, 0}, "delta beyond four bytes"},
    };
    for (const Case& c : cases) {
        MIDIEVENT events[] = {{0, 0x90, 60, 1, 0}, c.bad, {0, 0x90, 61, 1, 0}};
        EXPECT_EQ(WriteSMF(smf, 0, events, 3), 1u) << c.why;
    }
    MIDIEVENT note{0, 0x90, 60, 1, 0};
    EXPECT_EQ(WriteSMF(smf, 1, &note, 1), 0u) << "no track 1 in a format 0 file";
    EXPECT_EQ(WriteSMF(smf, 0, nullptr, 1), 0u);
    EXPECT_NE(WriteMetaEvent(smf, 0, 0x80, nullptr, 0), 0u) << "meta types are 7-bit";
    EXPECT_NE(WriteMetaEvent(smf, 0, 1, nullptr, 3), 0u) << "length without data";
    EXPECT_EQ(WriteMetaEvent(smf, 0, 0x2F, nullptr, 0), 0u);
    EXPECT_EQ(WriteSMF(smf, 0, &note, 1), 0u) << "the track has ended";
    EXPECT_NE(WriteMetaEvent(smf, 0, 1, nullptr, 0), 0u);
    EXPECT_EQ(CloseSMF(smf), 0u);

    // Exactly one end of track, after the four notes taken.
    const auto bytes = fileBytes(dir.file("w.mid"));
    ASSERT_GE(bytes.size(), 22u + 4u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()),
              (std::vector<uint8_t>{0, 0xFF, 0x2F, 0}));
    EXPECT_EQ(bytes.size(), 22u + 4u + 3 * 3u + 4u) << "one 4-byte note then running status";
}

TEST(SmfWrite, SystemMessagesBecomeEscapes) {
    TempDir dir;
    uint32_t tracks = 1;
    const uint32_t smf = OpenSMF(dir.file("s.mid").c_str(), 'w', 0, &tracks);
    ASSERT_GT(smf, 32u);
    MIDIEVENT events[] = {{0, 0xF2, 0x10, 0x20, 0}, {5, 0xF8, 0, 0, 0}, {0, 0x90, 1, 2, 0}};
    ASSERT_EQ(WriteSMF(smf, 0, events, 3), 3u);
    ASSERT_EQ(CloseSMF(smf), 0u);
    const auto bytes = fileBytes(dir.file("s.mid"));
    const std::vector<uint8_t> track(bytes.begin() + 22, bytes.end());
    EXPECT_EQ(track, (std::vector<uint8_t>{0, 0xF7, 3, 0xF2, 0x10, 0x20, 5, 0xF7, 1, 0xF8, 0, 0x90,
                                           1, 2, 0, 0xFF, 0x2F, 0}));
}

TEST(SmfWrite, ReplacesTheFileOnlyWhenClosedAndLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir.file("keep.mid");
    writeBytes(path, {'o', 'l', 'd'});
    uint32_t tracks = 3;
    const uint32_t smf = OpenSMF(path.c_str(), 'w', 1, &tracks);
    ASSERT_GT(smf, 32u);
    MIDIEVENT note{0, 0x90, 60, 1, 0};
    ASSERT_EQ(WriteSMF(smf, 2, &note, 1), 1u);
    EXPECT_EQ(fileBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
    ASSERT_EQ(CloseSMF(smf), 0u);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "an ordinary document, not a private temporary";
    int entries = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1);

    const uint32_t back = OpenSMF(path.c_str(), 'r', 0, &tracks);
    ASSERT_GT(back, 32u);
    EXPECT_EQ(tracks, 3u);
    EXPECT_EQ(readTrack(back, 0).size(), 0u);
    EXPECT_EQ(readTrack(back, 2).size(), 1u);
    CloseSMF(back);
}

// ---- Odd files, modes and links ---------------------------------------------------

using filefixtures::Odd;

class SmfOdd : public ::testing::TestWithParam<Odd> {};

TEST_P(SmfOdd, IsRefusedAtOnceForReading) {
    TempDir dir;
    const std::string path = dir.file("odd.mid");
    filefixtures::make(GetParam(), path, uint64_t{1} << 32); // oversize: past 4 GiB
    const auto start = std::chrono::steady_clock::now();
    uint32_t tracks = 0;
    EXPECT_LE(OpenSMF(path.c_str(), 'r', 0, &tracks), 32u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    if (GetParam() != Odd::Oversize) {
        EXPECT_LE(OpenSMF(path.c_str(), 'w', 0, &tracks), 32u) << "nor replaced";
    }
}

INSTANTIATE_TEST_SUITE_P(Odd, SmfOdd,
                         ::testing::Values(Odd::Fifo, Odd::DevZeroLink, Odd::Folder, Odd::Oversize),
                         [](const auto& info) {
                             return std::string(filefixtures::nameOf(info.param));
                         });

TEST(SmfWrite, FollowsALinkKeepsTheModeAndLeavesAReadOnlyFile) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path synced = dir.file("synced");
    fs::create_directories(synced);
    struct Case {
        const char* name;
        fs::perms mode;
        bool viaLink;
        bool opens;
    };
    using P = fs::perms;
    for (const Case& c :
         {Case{"private", P::owner_read | P::owner_write, false, true},
          Case{"linked", P::owner_read | P::owner_write | P::group_read, true, true},
          Case{"read-only", P::owner_read | P::group_read, false, false},
          Case{"linked read-only", P::owner_read, true, false}}) {
        SCOPED_TRACE(c.name);
        const fs::path file = c.viaLink ? synced / "song.mid" : fs::path(dir.file("song.mid"));
        const std::string path = dir.file("song.mid");
        fs::remove(path);
        writeBytes(file, {'o', 'l', 'd'});
        fs::permissions(file, c.mode);
        if (c.viaLink)
            fs::create_symlink("synced/song.mid", path);
        uint32_t tracks = 1;
        const uint32_t smf = OpenSMF(path.c_str(), 'w', 0, &tracks);
        EXPECT_EQ(smf > 32, c.opens);
        if (smf > 32) {
            EXPECT_EQ(CloseSMF(smf), 0u);
        }
        EXPECT_EQ(fileBytes(file).size(), c.opens ? 22u + 4u : 3u);
        EXPECT_EQ(fs::status(file).permissions(), c.mode);
        EXPECT_EQ(fs::is_symlink(path), c.viaLink);
        fs::permissions(file, P::owner_all);
    }
}

TEST(SmfHandles, BadHandlesModesAndArgumentsFail) {
    TempDir dir;
    uint32_t tracks = 2;
    EXPECT_LE(OpenSMF(dir.file("a.mid").c_str(), 'w', 0, &tracks), 32u) << "format 0, 2 tracks";
    EXPECT_LE(OpenSMF(dir.file("a.mid").c_str(), 'w', 2, &tracks), 32u);
    EXPECT_LE(OpenSMF(dir.file("a.mid").c_str(), 'x', 1, &tracks), 32u);
    EXPECT_LE(OpenSMF(dir.file("missing.mid").c_str(), 'r', 0, &tracks), 32u);
    EXPECT_LE(OpenSMF(dir.file("no/such/folder.mid").c_str(), 'w', 1, &tracks), 32u);
    EXPECT_LE(OpenSMF(nullptr, 'r', 0, &tracks), 32u);

    const uint32_t w = OpenSMF(dir.file("a.mid").c_str(), 'w', 1, nullptr);
    ASSERT_GT(w, 32u);
    MIDIEVENT events[4]{};
    uint8_t* data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(ReadSMF(w, 0, events, 4), 0u) << "not open for reading";
    EXPECT_EQ(ReadMetaEvent(w, 0, 3, &data, &length), -1);
    EXPECT_NE(RewindSMF(w), 0u);
    EXPECT_EQ(GetSMFResolution(w), 96u);
    EXPECT_NE(SetSMFResolution(w, 0), 0u);
    EXPECT_NE(SetSMFResolution(w, 0x10000), 0u);
    ASSERT_EQ(CloseSMF(w), 0u);

    const uint32_t r = OpenSMF(dir.file("a.mid").c_str(), 'r', 0, &tracks);
    ASSERT_GT(r, 32u);
    EXPECT_EQ(tracks, 1u) << "a null track count writes one track";
    EXPECT_EQ(WriteSMF(r, 0, events, 1), 0u) << "not open for writing";
    EXPECT_NE(WriteMetaEvent(r, 0, 3, nullptr, 0), 0u);
    EXPECT_NE(SetSMFResolution(r, 480), 0u);
    EXPECT_EQ(ReadSMF(r, 0, nullptr, 4), 0u);
    EXPECT_EQ(ReadMetaEvent(r, 0, 3, nullptr, &length), -1);
    EXPECT_EQ(CloseSMF(r), 0u);

    for (const uint32_t stale : {r, w, 0u, 32u, 0xFFFFFFFFu}) {
        EXPECT_NE(CloseSMF(stale), 0u);
        EXPECT_EQ(ReadSMF(stale, 0, events, 4), 0u);
        EXPECT_EQ(WriteSMF(stale, 0, events, 1), 0u);
        EXPECT_EQ(GetSMFResolution(stale), 0u);
        EXPECT_NE(RewindSMF(stale), 0u);
        EXPECT_EQ(ReadMetaEvent(stale, 0, 3, &data, &length), -1);
    }
}

} // namespace
