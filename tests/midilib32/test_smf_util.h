#pragma once

// Helpers for the file tests: the event stream grouped into what goes on
// the wire, and midicsv listings parsed into the same shape.

#include "midilib32.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace smftest {

// One event of a track at its absolute time: a channel message, a sysex
// packet (kind 0xF0, bytes after the F0), an escape (kind 0xF7) or a meta
// event (kind 0xFF, bytes = type then data).
struct Item {
    uint32_t time = 0;
    int kind = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const Item&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Item& item) {
    out << "{t=" << item.time << " kind=" << std::hex << item.kind << " bytes=";
    for (const uint8_t b : item.bytes)
        out << int(b) << ' ';
    return out << std::dec << '}';
}

// Groups the library's event stream (delta times, byte events for sysex and
// escapes) into items with absolute times.
inline std::vector<Item> groupStream(const std::vector<MIDIEVENT>& events) {
    std::vector<Item> items;
    uint32_t now = 0;
    int open = 0; // kind of the packet being gathered
    for (const MIDIEVENT& e : events) {
        now += e.time;
        if (e.status == 0xF0 || e.status == 0xF7) {
            const bool first = (e.data2 & 1) != 0;
            if (!first && open == e.status && e.time == 0) {
                items.back().bytes.push_back(e.data1);
                continue;
            }
            open = e.status;
            Item item{now, e.status, {}};
            if (!(e.status == 0xF0 && e.data1 == 0xF0))
                item.bytes.push_back(e.data1);
            items.push_back(item);
            continue;
        }
        open = 0;
        std::vector<uint8_t> bytes{e.status, e.data1};
        if ((e.status & 0xE0) != 0xC0)
            bytes.push_back(e.data2);
        items.push_back(Item{now, e.status, bytes});
    }
    return items;
}

// Every event of `track`, read in batches of `room`.
inline std::vector<MIDIEVENT> readTrack(uint32_t smf, uint32_t track, uint32_t room = 8192) {
    std::vector<MIDIEVENT> all;
    std::vector<MIDIEVENT> batch(room);
    for (;;) {
        const uint32_t n = ReadSMF(smf, track, batch.data(), room);
        if (n == 0)
            break;
        if (n > room)
            throw std::runtime_error("ReadSMF returned more than the room");
        all.insert(all.end(), batch.begin(), batch.begin() + n);
    }
    return all;
}

inline std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    if (pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return output;
}

inline std::vector<std::string> splitCsv(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted) {
            fields.push_back(field);
            field.clear();
        } else if (!(c == ' ' && field.empty() && !quoted))
            field += c;
    }
    fields.push_back(field);
    return fields;
}

// A midicsv listing: items per track (index from 0), without the end of
// track; the header's format, track count and division.
struct Listing {
    int format = -1;
    int tracks = 0;
    int division = 0;
    std::map<int, std::vector<Item>> items;
    std::map<int, uint32_t> endTimes;
};

inline Listing parseListing(const std::string& text) {
    static const std::map<std::string, int> textTypes{
        {"Text_t", 1},  {"Copyright_t", 2}, {"Title_t", 3},     {"Instrument_name_t", 4},
        {"Lyric_t", 5}, {"Marker_t", 6},    {"Cue_point_t", 7},
    };
    static const std::map<std::string, int> channelTypes{
        {"Note_off_c", 0x80},   {"Note_on_c", 0x90}, {"Poly_aftertouch_c", 0xA0},
        {"Control_c", 0xB0},    {"Program_c", 0xC0}, {"Channel_aftertouch_c", 0xD0},
        {"Pitch_bend_c", 0xE0},
    };
    Listing listing;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto f = splitCsv(line);
        if (f.size() < 3)
            continue;
        const int track = std::stoi(f[0]) - 1;
        const uint32_t time = uint32_t(std::stoul(f[1]));
        const std::string& type = f[2];
        auto number = [&](size_t i) { return std::stoi(f.at(i)); };
        auto bytesFrom = [&](size_t countField) {
            std::vector<uint8_t> bytes;
            for (int i = 0; i < number(countField); ++i)
                bytes.push_back(uint8_t(number(countField + 1 + i)));
            return bytes;
        };
        Item item{time, 0, {}};
        if (type == "Header") {
            listing.format = number(3);
            listing.tracks = number(4);
            listing.division = number(5);
            continue;
        } else if (type == "Start_track" || type == "End_of_file") {
            continue;
        } else if (type == "End_track") {
            listing.endTimes[track] = time;
            continue;
        } else if (channelTypes.count(type)) {
            const uint8_t status = uint8_t(channelTypes.at(type) | number(3));
            item.kind = status;
            if (type == "Pitch_bend_c")
                item.bytes = {status, uint8_t(number(4) & 0x7F), uint8_t(number(4) >> 7)};
            else if (type == "Program_c" || type == "Channel_aftertouch_c")
                item.bytes = {status, uint8_t(number(4))};
            else
                item.bytes = {status, uint8_t(number(4)), uint8_t(number(5))};
        } else if (type == "System_exclusive") {
            item.kind = 0xF0;
            item.bytes = bytesFrom(3);
        } else if (type == "System_exclusive_packet") {
            item.kind = 0xF7;
            item.bytes = bytesFrom(3);
        } else if (type == "Tempo") {
            const uint32_t tempo = uint32_t(std::stoul(f[3]));
            item.kind = 0xFF;
            item.bytes = {0x51, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)};
        } else if (textTypes.count(type)) {
            item.kind = 0xFF;
            item.bytes.push_back(uint8_t(textTypes.at(type)));
            item.bytes.insert(item.bytes.end(), f[3].begin(), f[3].end());
        } else if (type == "Time_signature") {
            item.kind = 0xFF;
            item.bytes = {0x58, uint8_t(number(3)), uint8_t(number(4)), uint8_t(number(5)),
                          uint8_t(number(6))};
        } else if (type == "Key_signature") {
            item.kind = 0xFF;
            item.bytes = {0x59, uint8_t(int8_t(number(3))), uint8_t(f[4] == "minor" ? 1 : 0)};
        } else if (type == "Sequencer_specific") {
            item.kind = 0xFF;
            item.bytes = bytesFrom(3);
            item.bytes.insert(item.bytes.begin(), 0x7F);
        } else {
            throw std::runtime_error("unexpected midicsv line: " + line);
        }
        listing.items[track].push_back(item);
    }
    return listing;
}

// A folder of its own for a test's files, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "smftest.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace smftest
