// What the drill sends to the output port, message by message and with its
// times: chords, figures, the sustain history, dampening, repeat and the
// arpeggios, recorded by the stand-in library under a test clock.

#include "midi/midilib.h"
#include "tests/support/standin.h"
#include "tests/support/testdrill.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct Sent {
    int note;
    int velocity;
    int64_t at;
    friend bool operator==(const Sent&, const Sent&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Sent& s) {
        return os << "{" << s.note << ", " << s.velocity << ", @" << s.at << "}";
    }
};
using Stream = std::vector<Sent>;

class PlaybackTest : public ::testing::Test {
protected:
    FakeClock clock;
    TMidiLib lib{nullptr, "StandInMidi"};
    TMidiLibOut out;
    RecordingDrill drill{clock};

    void SetUp() override {
        clock.time = 1000;
        restartLog();
        out.MidiLib = &lib;
        ASSERT_TRUE(out.Open(0, 78624));
        drill.setNoteOutput(&out);
        restartLog();
    }
    // The time source refers to this test's clock: drop it with the test.
    void TearDown() override { standin::reset(); }
    void restartLog() {
        standin::reset();
        standin::setTimeSource([this] { return int64_t{clock.time}; });
    }
    // The notes sent since the log was restarted. Every one is a note-on
    // for channel 1 sent at once: other fields would be a fault.
    Stream sent() {
        Stream s;
        for (const standin::Call& c : standin::calls()) {
            if (c.name != "PutMidiOut")
                continue;
            EXPECT_EQ(c.event.time, 0xFFFFFFFFu);
            EXPECT_EQ(c.event.status, 0x90);
            EXPECT_EQ(c.event.data3, 0);
            s.push_back({c.event.data1, c.event.data2, c.at});
        }
        restartLog();
        return s;
    }
    void play(int first, int second) {
        drill.setQuestion(first, second);
        drill.playQuestion();
    }
};

TEST_F(PlaybackTest, ChordSendsBothNotesLowestFirstAfterSilencingTheHistory) {
    // The history starts with note 0, so the first two playbacks under the
    // default sustain silence note 0 twice each.
    play(57, 50);
    EXPECT_EQ(sent(), (Stream{{0, 0, 1000}, {0, 0, 1000}, {50, 64, 1000}, {57, 64, 1000}}));
    play(45, 60);
    EXPECT_EQ(sent(), (Stream{{0, 0, 1000}, {0, 0, 1000}, {45, 64, 1000}, {60, 64, 1000}}));
    play(44, 48);
    EXPECT_EQ(sent(), (Stream{{50, 0, 1000}, {57, 0, 1000}, {44, 64, 1000}, {48, 64, 1000}}));
    EXPECT_EQ(clock.waits.size(), 0u); // a chord never waits
}

TEST_F(PlaybackTest, SustainKeepsTheLastNPlaybacksRinging) {
    const int questions[6][2] = {{43, 50}, {44, 51}, {45, 52}, {46, 53}, {47, 54}, {48, 55}};
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        RecordingDrill d(clock);
        d.setNoteOutput(&out);
        d.sustain = n - 1;
        restartLog();
        for (int k = 0; k < 6; ++k) {
            d.setQuestion(questions[k][0], questions[k][1]);
            d.playQuestion();
            // Playback k silences playback k - n, or note 0 before there was one.
            const int lo = k >= n ? questions[k - n][0] : 0;
            const int hi = k >= n ? questions[k - n][1] : 0;
            EXPECT_EQ(sent(), (Stream{{lo, 0, 1000},
                                      {hi, 0, 1000},
                                      {questions[k][0], 64, 1000},
                                      {questions[k][1], 64, 1000}}))
                << "playback " << k;
        }
    }
}

TEST_F(PlaybackTest, ChangingHowManyChordsRingLeavesNoNoteSoundingBeyondItsSetting) {
    // Three chords under one setting, four under another: each chord stops
    // no later than the setting it was sounded under said, and from then on
    // no more chords ring than the setting in force allows.
    for (int before = 1; before <= 3; ++before)
        for (int after = 1; after <= 3; ++after) {
            SCOPED_TRACE(testing::Message() << before << " then " << after << " chords");
            RecordingDrill d(clock);
            d.setNoteOutput(&out);
            restartLog();
            std::vector<int> stoppedAt(7, -1);
            for (int k = 0; k < 7; ++k) {
                d.sustain = (k < 3 ? before : after) - 1;
                // Chord k is notes 43 + k and 55 + k: every note is one chord's.
                d.setQuestion(43 + k, 55 + k);
                d.playQuestion();
                for (const Sent& s : sent()) {
                    const int chord = s.note >= 55 ? s.note - 55 : s.note - 43;
                    if (s.velocity == 0 && s.note != 0 && stoppedAt[chord] < 0)
                        stoppedAt[chord] = k;
                }
                int ringing = 0;
                for (int c = 0; c <= k; ++c) {
                    const int setting = c < 3 ? before : after;
                    if (stoppedAt[c] < 0) {
                        ++ringing;
                        EXPECT_LT(k, c + setting)
                            << "chord " << c << " still sounds at playback " << k;
                    }
                }
                EXPECT_LE(ringing, k < 3 ? before : after) << "at playback " << k;
            }
        }
}

struct DampenCase {
    bool first, second;
    Stream stream;  // after the two note-0 silences
    int32_t endsAt; // the clock when playQuestion returns
};

TEST_F(PlaybackTest, FigureSendsPlayOrder500MsApartWithEachDampenCombination) {
    const DampenCase cases[] = {
        {false, false, {{60, 64, 1000}, {48, 64, 1500}}, 1500},
        {true, false, {{60, 64, 1000}, {60, 0, 1500}, {48, 64, 1500}}, 1500},
        {false, true, {{60, 64, 1000}, {48, 64, 1500}, {48, 0, 2000}}, 2000},
        {true, true, {{60, 64, 1000}, {60, 0, 1500}, {48, 64, 1500}, {48, 0, 2000}}, 2000},
    };
    for (const DampenCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "dampen first " << c.first << " second " << c.second);
        FakeClock clk;
        clk.time = 1000;
        RecordingDrill d(clk);
        d.setNoteOutput(&out);
        d.givenAs = 1;
        d.dampenFirst = c.first;
        d.dampenSecond = c.second;
        restartLog();
        standin::setTimeSource([&clk] { return int64_t{clk.time}; });
        d.setQuestion(60, 48); // a falling figure: drawn order, not pitch order
        d.playQuestion();
        Stream expected{{0, 0, 1000}, {0, 0, 1000}};
        expected.insert(expected.end(), c.stream.begin(), c.stream.end());
        EXPECT_EQ(sent(), expected);
        EXPECT_EQ(clk.time, c.endsAt);
    }
}

TEST_F(PlaybackTest, RepeatIsAPlaybackForTheSustainHistory) {
    drill.sustain = 0; // one chord rings
    ASSERT_TRUE(drill.beginDrill());
    drill.setQuestion(52, 59);
    drill.playQuestion();
    sent();
    drill.repeatQuestion();
    EXPECT_EQ(sent(), (Stream{{52, 0, 1000}, {59, 0, 1000}, {52, 64, 1000}, {59, 64, 1000}}));
}

TEST_F(PlaybackTest, ArpeggiosSpellTheNotes1000MsApartAndLeaveTheHistory) {
    ASSERT_TRUE(drill.beginDrill());
    drill.setQuestion(62, 47);
    int history[4][12];
    std::copy(&drill.ringHistory[0][0], &drill.ringHistory[0][0] + 48, &history[0][0]);
    sent();
    drill.arpeggiateUp();
    EXPECT_EQ(sent(), (Stream{{47, 64, 1000}, {62, 64, 2000}}));
    drill.arpeggiateDown();
    EXPECT_EQ(sent(), (Stream{{62, 64, 2000}, {47, 64, 3000}}));
    EXPECT_TRUE(std::equal(&history[0][0], &history[0][0] + 48, &drill.ringHistory[0][0]));
}

TEST_F(PlaybackTest, NothingPlaysOutsideADrillOrWithoutAPort) {
    drill.setQuestion(50, 55);
    drill.repeatQuestion();
    drill.arpeggiateUp();
    drill.arpeggiateDown();
    drill.answerKey(vk::digit(5));
    EXPECT_EQ(sent(), Stream{});

    drill.setNoteOutput(nullptr);
    ASSERT_TRUE(drill.beginDrill());
    drill.answerKey(mod12Key(drill.m12Interval));
    drill.arpeggiateUp();
    EXPECT_EQ(drill.correctCount, 1); // the drill goes on in silence
    EXPECT_EQ(sent(), Stream{});
}

TEST_F(PlaybackTest, CorrectAnswerSoundsTheNextQuestionAtOnceAWrongOneNothing) {
    ASSERT_TRUE(drill.beginDrill());
    sent();
    drill.setQuestion(50, 57);
    drill.answerKey(vk::digit(drill.m12Interval == 1 ? 2 : 1));
    EXPECT_EQ(sent(), Stream{});
    drill.answerKey(vk::digit(7));
    const Stream s = sent();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[2].note, drill.notes[0]);
    EXPECT_EQ(s[3].note, drill.notes[1]);
    EXPECT_EQ(s[3].velocity, 64);
}

TEST_F(PlaybackTest, NoAllowedIntervalPlaysNothing) {
    for (bool& a : drill.allowed)
        a = false;
    EXPECT_FALSE(drill.beginDrill());
    EXPECT_EQ(sent(), Stream{});
}

} // namespace
