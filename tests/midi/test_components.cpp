#include "midi_test_support.h"

namespace {

class InputPort : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        in.MidiLib = lib.get();
    }
    // Hands `events` to the port as one burst announced by the library.
    void burst(std::vector<MIDIEVENT> events) {
        standin::setInputEvents(std::move(events));
        standin::post(in.window(), MIDILIB_MSG_IN_DATA);
        deliverNotifications();
    }
    TMidiLibIn in;
};

} // namespace

TEST_F(InputPort, OpensStartsStopsAndCloses) {
    standin::setInDeviceNames({"Keys", "Pads"});
    TMidiLibSync sync;
    sync.MidiLib = lib.get();
    standin::setOpenResult(50);
    ASSERT_TRUE(sync.Open());
    in.Sync = &sync;
    standin::reset();
    standin::setInDeviceNames({"Keys", "Pads"});

    ASSERT_TRUE(in.Open(1, 7));
    EXPECT_EQ(in.description(), "Pads");
    EXPECT_EQ(in.handle(), 100u);
    EXPECT_EQ(standin::calls()[1].args,
              (std::vector<uint64_t>{reinterpret_cast<uintptr_t>(in.window()), 1, 50, 7}));
    in.Start();
    EXPECT_TRUE(in.isStarted());
    in.Close();
    EXPECT_FALSE(in.isOpen());
    EXPECT_FALSE(in.isStarted());
    EXPECT_EQ(in.description(), "");
    EXPECT_EQ(names(), (std::vector<std::string>{"GetMidiInDescription", "OpenMidiIn",
                                                 "StartMidiIn", "StopMidiIn", "CloseMidiIn"}));
}

TEST_F(InputPort, MisuseThrows) {
    TMidiLibIn unbound;
    EXPECT_EQ(midiFailure([&] { unbound.Open(0); }), "No MidiLib");
    EXPECT_EQ(midiFailure([&] { in.Close(); }), "midiIn not open");
    EXPECT_EQ(midiFailure([&] { in.Stop(); }), "midiIn not open");
    EXPECT_EQ(midiFailure([&] { in.Start(); }), "midiIn not open");
    EXPECT_FALSE(in.Open(5)); // no such device
    EXPECT_EQ(in.handle(), 0u);
    ASSERT_TRUE(in.Open(0));
    EXPECT_EQ(midiFailure([&] { in.Open(0); }), "already open");
}

TEST_F(InputPort, ActiveSensingIsDroppedAndItsTimeCarriedToTheNextEvent) {
    ASSERT_TRUE(in.Open(0));
    std::vector<MIDIEVENT> seen;
    in.OnMidiData = [&](LPMIDIEVENT e, bool*) { seen.push_back(*e); };

    burst({midiEvent(10, 0xFE), midiEvent(20, 0xFE)});
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(in.carriedTime(), 30u);

    burst({midiEvent(5, 0x90, 60, 64), midiEvent(7, 0x80, 60, 0), midiEvent(1, 0xFE),
           midiEvent(2, 0x90, 62, 64)});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].time, 35u);
    EXPECT_EQ(seen[1].time, 7u);
    EXPECT_EQ(seen[2].time, 3u);
    EXPECT_EQ(seen[2].data1, 62);
    EXPECT_EQ(in.carriedTime(), 0u);
}

TEST_F(InputPort, AnEventTheHandlerRefusesIsLeftOutOfTheRecordingTrack) {
    TMidiLibTrack take;
    in.setRecordingTrack(&take);
    EXPECT_TRUE(take.recording);
    ASSERT_TRUE(in.Open(0));
    in.OnMidiData = [](LPMIDIEVENT e, bool* accept) {
        if (e->data1 == 61)
            *accept = false;
    };
    burst({midiEvent(10, 0x90, 60, 64), midiEvent(20, 0x90, 61, 64), midiEvent(5, 0x90, 62, 64)});
    ASSERT_EQ(take.count(), 2u);
    EXPECT_EQ(take.events()[0].data1, 60);
    EXPECT_EQ(take.events()[0].time, 10u);
    EXPECT_EQ(take.events()[1].data1, 62);
    EXPECT_EQ(take.events()[1].time, 25u);

    // With its recording switch off the track keeps what it has.
    take.recording = false;
    burst({midiEvent(1, 0x90, 63, 64)});
    EXPECT_EQ(take.count(), 2u);
}

TEST_F(InputPort, DataAnnouncedAfterCloseIsNotFetched) {
    ASSERT_TRUE(in.Open(0));
    standin::setInputEvents({midiEvent(1, 0x90, 60, 64)});
    standin::post(in.window(), MIDILIB_MSG_IN_DATA);
    in.Close();
    standin::reset();
    deliverNotifications();
    EXPECT_TRUE(standin::calls().empty());
}

// ---- Clock ------------------------------------------------------------------

class SyncClock : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        sync.MidiLib = lib.get();
    }
    TMidiLibSync sync;
};

TEST_F(SyncClock, StopOnAClosedClockDoesNothingAndCloseThrows) {
    sync.Stop();
    EXPECT_TRUE(standin::calls().empty());
    EXPECT_EQ(midiFailure([&] { sync.Close(); }), "sync not open");
    for (auto op : {+[](TMidiLibSync& s) { s.Start(); }, +[](TMidiLibSync& s) { s.Pause(true); },
                    +[](TMidiLibSync& s) { s.Restart(); }, +[](TMidiLibSync& s) { s.setTempo(1); },
                    +[](TMidiLibSync& s) { (void)s.position(); }})
        EXPECT_EQ(midiFailure([&] { op(sync); }), "sync not open");
    TMidiLibSync unbound;
    EXPECT_EQ(midiFailure([&] { unbound.Open(); }), "No MidiLib");
}

TEST_F(SyncClock, RunsThroughItsWholeLife) {
    ASSERT_TRUE(sync.Open(400000, 120, 3));
    EXPECT_EQ(standin::calls()[0].args,
              (std::vector<uint64_t>{reinterpret_cast<uintptr_t>(sync.window()), 3, 400000, 120}));
    EXPECT_EQ(midiFailure([&] { sync.Open(); }), "already open");
    sync.Start();
    EXPECT_TRUE(sync.isRunning());
    sync.Pause(true);
    EXPECT_FALSE(sync.isRunning());
    sync.Pause(false);
    EXPECT_TRUE(sync.isRunning());
    sync.setTempo(600000);
    sync.setResolution(480);
    EXPECT_EQ(sync.tempo(), 600000u);
    EXPECT_EQ(sync.resolution(), 480u);
    EXPECT_EQ(sync.position(), 1234u);
    sync.Stop();
    EXPECT_FALSE(sync.isRunning());
    sync.Restart();
    EXPECT_TRUE(sync.isRunning());
    sync.Close();
    EXPECT_FALSE(sync.isOpen());
    EXPECT_FALSE(sync.isRunning());
    EXPECT_EQ(
        names({"GetTempo", "GetResolution", "GetPosition"}),
        (std::vector<std::string>{"OpenSync", "StartSync", "PauseSync", "PauseSync", "SetTempo",
                                  "SetResolution", "StopSync", "ReStartSync", "CloseSync"}));
    const auto calls = standin::calls();
    EXPECT_EQ(calls[2].args, (std::vector<uint64_t>{100, 1}));
    EXPECT_EQ(calls[3].args, (std::vector<uint64_t>{100, 0}));
}

TEST_F(SyncClock, BeatAndDoneMessagesReachTheirHandlers) {
    ASSERT_TRUE(sync.Open());
    std::vector<std::string> seen;
    sync.OnMidiBeat = [&](QObject* s) { seen.push_back(s == &sync ? "beat" : "beat?"); };
    sync.OnSyncDone = [&](QObject* s) { seen.push_back(s == &sync ? "done" : "done?"); };
    for (uint32_t m : {MIDILIB_MSG_SYNC_BEAT, 4321u, MIDILIB_MSG_SYNC_BEAT, MIDILIB_MSG_SYNC_DONE})
        standin::post(standin::lastWindow("OpenSync"), m);
    deliverNotifications();
    EXPECT_EQ(seen, (std::vector<std::string>{"beat", "beat", "done"}));
}

TEST_F(SyncClock, DestructionStopsAndClosesAnOpenClock) {
    {
        TMidiLibSync s;
        s.MidiLib = lib.get();
        ASSERT_TRUE(s.Open());
        standin::reset();
    }
    EXPECT_EQ(names(), (std::vector<std::string>{"StopSync", "CloseSync"}));
}

// ---- Track ------------------------------------------------------------------

TEST(MidiTrack, GrowsByWholeBatchesAndInsertsInPlace) {
    TMidiLibTrack track;
    EXPECT_EQ(track.capacity(), 0u);
    for (uint32_t i = 0; i < 8193; ++i)
        track.append(midiEvent(i, 0x90, uint8_t(i % 128)));
    EXPECT_EQ(track.count(), 8193u);
    EXPECT_EQ(track.capacity(), 16384u);
    // The new room is zero-filled.
    const MIDIEVENT& spare = track.events()[16383];
    EXPECT_EQ(spare.time | spare.status | spare.data1 | spare.data2 | spare.data3, 0u);

    track.append(midiEvent(7, 0xB0), 1);
    EXPECT_EQ(track.count(), 8194u);
    EXPECT_EQ(track.events()[0].time, 0u);
    EXPECT_EQ(track.events()[1].status, 0xB0);
    EXPECT_EQ(track.events()[2].time, 1u);
    EXPECT_EQ(track.events()[8193].time, 8192u);
}

TEST(MidiTrack, WithoutAFileItsNameIsEmpty) {
    TMidiLibTrack track;
    EXPECT_EQ(track.name(), "");
}

// ---- Standard MIDI File -----------------------------------------------------

class MidiFile : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        smf.MidiLib = lib.get();
    }
    TMidiLibSMF smf;
};

TEST_F(MidiFile, OpeningForReadingMakesOneTrackPerTrackOfTheFile) {
    standin::setFileTracks({{}, {}, {}});
    ASSERT_TRUE(smf.OpenRead("song.mid"));
    EXPECT_EQ(smf.mode(), 'r');
    EXPECT_EQ(smf.trackCount(), 3u);
    EXPECT_EQ(standin::lastPath(), "song.mid");
    EXPECT_EQ(standin::calls()[0].args[1], uint64_t('r'));
    EXPECT_EQ(smf.track(0)->file(), &smf);
    EXPECT_EQ(midiFailure([&] { smf.OpenRead("other.mid"); }), "already open");
    smf.Close();
    EXPECT_EQ(smf.tracks(), nullptr);
    EXPECT_EQ(names(), (std::vector<std::string>{"OpenSMF", "CloseSMF"}));

    standin::setOpenResult(3);
    EXPECT_FALSE(smf.OpenRead("missing.mid"));
    EXPECT_EQ(smf.tracks(), nullptr);
}

TEST_F(MidiFile, OpeningForWritingNamesFormatAndTrackCount) {
    ASSERT_TRUE(smf.OpenWrite("out.mid", 1, 4));
    EXPECT_EQ(smf.mode(), 'w');
    EXPECT_EQ(smf.trackCount(), 4u);
    const auto args = standin::calls()[0].args;
    EXPECT_EQ(args[1], uint64_t('w'));
    EXPECT_EQ(args[2], 1u);
    EXPECT_EQ(args[3], 4u);
    smf.setResolution(480);
    EXPECT_EQ(smf.resolution(), 480u);
}

TEST_F(MidiFile, MisuseThrowsItsOwnMessage) {
    TMidiLibTrack stranger;
    EXPECT_EQ(midiFailure([&] { smf.Close(); }), "SMF not open");
    EXPECT_EQ(midiFailure([&] { smf.ReadTrack(&stranger); }), "SMF not open");
    EXPECT_EQ(midiFailure([&] { smf.WriteTrack(&stranger); }), "SMF cant write");
    EXPECT_EQ(midiFailure([&] { smf.Rewind(); }), "SMF not open");

    standin::setFileTracks({{}});
    ASSERT_TRUE(smf.OpenRead("in.mid"));
    TMidiLibTrack* own = smf.track(0);
    std::vector<uint8_t> data;
    EXPECT_EQ(midiFailure([&] { smf.ReadTrack(&stranger); }), "SMF bad track");
    EXPECT_EQ(midiFailure([&] { smf.WriteTrack(own); }), "SMF cant write");
    EXPECT_EQ(midiFailure([&] { smf.WriteMetaEvent(own, 3, nullptr, 0); }), "SMF cant write");
    EXPECT_EQ(smf.ReadMetaEvent(&stranger, 3, data), -1);
    smf.Close();

    ASSERT_TRUE(smf.OpenWrite("out.mid", 0, 1));
    own = smf.track(0);
    EXPECT_EQ(midiFailure([&] { smf.ReadTrack(own); }), "SMF cant read");
    EXPECT_EQ(midiFailure([&] { smf.ReadMetaEvent(own, 3, data); }), "SMF cant read");
    EXPECT_EQ(midiFailure([&] { smf.WriteTrack(&stranger); }), "SMF bad track");
    EXPECT_FALSE(smf.WriteMetaEvent(&stranger, 3, nullptr, 0));

    // Once the tracks are handed over the file has no list to work on.
    auto taken = smf.takeTracks();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0]->file(), nullptr);
    EXPECT_EQ(midiFailure([&] { smf.WriteTrack(taken[0].get()); }), "SMF cant write");
}

TEST_F(MidiFile, ReadTrackAsksForBatchesOf8192UntilTheTrackIsExhausted) {
    struct Case {
        uint32_t events;
        uint32_t perCall; // what the library hands out per call, 0: all it can
        uint32_t capacity;
    };
    // The block grows in whole steps of 8192 until 8192 events fit after those read.
    const Case cases[] = {{20000, 0, 32768}, {8192, 0, 16384}, {1, 0, 16384}, {20000, 3000, 32768}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.events);
        standin::reset();
        std::vector<MIDIEVENT> file;
        for (uint32_t i = 0; i < c.events; ++i)
            file.push_back(midiEvent(i, 0x90, uint8_t(i % 128), uint8_t(i / 128 % 128)));
        standin::setFileTracks({{midiEvent(1, 0xC0)}, file});
        standin::setReadLimit(c.perCall);
        TMidiLibSMF f;
        f.MidiLib = lib.get();
        ASSERT_TRUE(f.OpenRead("big.mid"));
        TMidiLibTrack* track = f.track(1);
        track->position = 5;
        ASSERT_TRUE(f.ReadTrack(track));
        EXPECT_EQ(track->count(), c.events);
        EXPECT_EQ(track->capacity(), c.capacity);
        EXPECT_EQ(track->position, 0u);
        bool same = true;
        for (uint32_t i = 0; i < c.events; ++i)
            same = same && track->events()[i].time == i && track->events()[i].data1 == i % 128;
        EXPECT_TRUE(same);
        uint32_t reads = 0;
        for (const auto& call : standin::calls()) {
            if (call.name != "ReadSMF")
                continue;
            ++reads;
            EXPECT_EQ(call.args[1], 1u);
            EXPECT_EQ(call.args[3], 8192u);
        }
        const uint32_t per = c.perCall ? c.perCall : 8192;
        EXPECT_EQ(reads, (c.events + per - 1) / per + 1);
        // The last call offered the room right after the events read.
        uint64_t lastRoom = 0;
        for (const auto& call : standin::calls())
            if (call.name == "ReadSMF")
                lastRoom = call.args[2];
        EXPECT_EQ(lastRoom, reinterpret_cast<uintptr_t>(track->events() + c.events));
    }
}

TEST_F(MidiFile, ReadingAnEmptyTrackGivesFalseAndNoEvents) {
    standin::setFileTracks({{}});
    ASSERT_TRUE(smf.OpenRead("empty.mid"));
    TMidiLibTrack* track = smf.track(0);
    EXPECT_FALSE(smf.ReadTrack(track));
    EXPECT_EQ(track->count(), 0u);
    EXPECT_EQ(track->capacity(), 8192u);
}

TEST_F(MidiFile, TheTrackNameComesFromMetaEvent3) {
    standin::setFileTracks({{midiEvent(0, 0x90, 60, 1)}, {midiEvent(0, 0x90, 61, 1)}});
    standin::setMetaEvent(1, 3, {'B', 'a', 's', 's'});
    standin::setMetaEvent(1, 1, {'x'});
    ASSERT_TRUE(smf.OpenRead("named.mid"));
    ASSERT_TRUE(smf.ReadTrack(smf.track(1)));
    EXPECT_EQ(smf.track(1)->name(), "Bass");
    EXPECT_EQ(smf.track(0)->name(), "");

    std::vector<uint8_t> data;
    EXPECT_EQ(smf.ReadMetaEvent(smf.track(1), 1, data), 0);
    EXPECT_EQ(data, std::vector<uint8_t>{'x'});
    EXPECT_EQ(smf.ReadMetaEvent(smf.track(0), 3, data), -1);

    // A name once found is not read again.
    standin::reset();
    EXPECT_EQ(smf.track(1)->name(), "Bass");
    EXPECT_TRUE(standin::calls().empty());
}

TEST_F(MidiFile, WriteTrackWritesTheNameThenTheEventsFromThePosition) {
    ASSERT_TRUE(smf.OpenWrite("out.mid", 1, 2));
    TMidiLibTrack* track = smf.track(1);
    for (uint8_t n : {60, 62, 64, 65})
        track->append(midiEvent(10, 0x90, n, 64));
    track->setName("Lead");
    track->position = 1;
    standin::reset();
    EXPECT_TRUE(smf.WriteTrack(track));
    EXPECT_EQ(names(), (std::vector<std::string>{"WriteMetaEvent", "WriteSMF"}));
    const auto meta = standin::writtenMeta();
    ASSERT_EQ(meta.size(), 1u);
    EXPECT_EQ(meta[0].track, 1u);
    EXPECT_EQ(meta[0].type, 3);
    EXPECT_EQ(meta[0].data, (std::vector<uint8_t>{'L', 'e', 'a', 'd'}));
    const auto written = standin::writtenEvents(1);
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0].data1, 62);
    EXPECT_EQ(written[2].data1, 65);

    // Fewer events written than asked is a failure; an unnamed track writes no name.
    standin::reset();
    standin::setWriteResult(2);
    TMidiLibTrack* unnamed = smf.track(0);
    unnamed->append(midiEvent(0, 0x90, 1, 1));
    EXPECT_FALSE(smf.WriteTrack(unnamed));
    EXPECT_TRUE(standin::writtenMeta().empty());
}

TEST_F(MidiFile, WriteMetaEventReportsTheLibrarysResult) {
    ASSERT_TRUE(smf.OpenWrite("out.mid", 0, 1));
    const uint8_t tempo[] = {0x07, 0xA1, 0x20};
    EXPECT_TRUE(smf.WriteMetaEvent(smf.track(0), 0x51, tempo, 3));
    standin::setWriteMetaResult(1);
    EXPECT_FALSE(smf.WriteMetaEvent(smf.track(0), 0x51, tempo, 3));
    EXPECT_EQ(standin::writtenMeta()[0].data, (std::vector<uint8_t>{0x07, 0xA1, 0x20}));
}

TEST_F(MidiFile, DestructionClosesAnOpenFile) {
    {
        TMidiLibSMF f;
        f.MidiLib = lib.get();
        ASSERT_TRUE(f.OpenWrite("x.mid", 0, 1));
        standin::reset();
    }
    EXPECT_EQ(names(), std::vector<std::string>{"CloseSMF"});
}
