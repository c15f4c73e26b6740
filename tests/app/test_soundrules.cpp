// The rules behind the sound features: which device is marked and when the
// user is told it cannot sound, the instrument's Program Changes (recorded
// by the stand-in library), and the revealed answer, which must leave the
// drill's grading exactly as it was.

#include "app/drillevents.h"
#include "app/reveal.h"
#include "app/soundcheck.h"
#include "midi/midilib.h"
#include "settings/instrument.h"
#include "tests/support/standin.h"
#include "tests/support/testdrill.h"

#include <gtest/gtest.h>

#include <set>

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// ---- SoundCheck -------------------------------------------------------------

struct NoticeCase {
    const char* name;
    int device;
    SoundFailure failure;
    bool soundFont;
    std::vector<std::string> parts; // what, why and what to do, in words the user reads
};

class SoundNoticeText : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(SoundNoticeText, SaysWhatFailedWhyAndWhatToDo) {
    const NoticeCase& c = GetParam();
    SoundCheck check([&] { return c.soundFont; });
    check.setDeviceNames({"Synth", "Port A"});
    const std::string text = check.noticeFor(c.device, c.failure).text();
    for (const std::string& part : c.parts)
        EXPECT_TRUE(contains(text, part)) << text << "\nlacks: " << part;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SoundNoticeText,
    ::testing::Values(
        NoticeCase{"synthNoServer",
                   0,
                   SoundFailure::OpenRefused,
                   true,
                   {"built-in synthesizer found no audio output", "no sound server is running",
                    "Start PulseAudio, PipeWire or JACK", "choose a MIDI port"}},
        NoticeCase{"synthStoppedTakingNotes",
                   0,
                   SoundFailure::NotesRefused,
                   true,
                   {"no audio output", "PulseAudio, PipeWire or JACK"}},
        NoticeCase{"synthNoSoundFont",
                   0,
                   SoundFailure::OpenRefused,
                   false,
                   {"cannot play", "No General MIDI soundfont", "timgm6mb-soundfont"}},
        NoticeCase{"portRefused",
                   1,
                   SoundFailure::OpenRefused,
                   true,
                   {"\u201cPort A\u201d did not open", "port is gone", "choose another device"}},
        NoticeCase{
            "portVanished",
            1,
            SoundFailure::NotesRefused,
            true,
            {"\u201cPort A\u201d stopped taking notes", "port is gone", "choose another device"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SoundCheck, MarksTheSoundingDeviceAndEveryFailedOne) {
    SoundCheck check([] { return true; });
    check.setDeviceNames({"Synth", "Port A", "Port B"});
    EXPECT_EQ(check.mark(0), DeviceMark::None);

    EXPECT_FALSE(check.deviceOpened(1, true));
    EXPECT_EQ(check.mark(1), DeviceMark::Sounding);
    EXPECT_EQ(check.accessibleName(1), "Port A, open and sounding");
    EXPECT_EQ(check.soundingDevice(), 1);

    // The open port stops taking notes: failed, no longer sounding.
    EXPECT_TRUE(check.notesRefused());
    EXPECT_EQ(check.mark(1), DeviceMark::Failed);
    EXPECT_EQ(check.accessibleName(1), "Port A, failed: no sound");
    EXPECT_EQ(check.soundingDevice(), -1);

    // A failed open leaves no device open; a device that opens again is
    // sounding once more, and the other failure keeps its mark.
    EXPECT_FALSE(check.deviceOpened(2, false));
    EXPECT_EQ(check.openDevice(), -1);
    EXPECT_FALSE(check.notesRefused()) << "no device is open to refuse";
    EXPECT_FALSE(check.deviceOpened(1, true));
    EXPECT_EQ(check.mark(1), DeviceMark::Sounding);
    EXPECT_EQ(check.mark(2), DeviceMark::Failed);
    EXPECT_EQ(check.mark(0), DeviceMark::None);
    EXPECT_EQ(check.accessibleName(0), "Synth");
}

TEST(SoundCheck, TellsOncePerRun) {
    SoundCheck check([] { return true; });
    check.setDeviceNames({"Synth", "Port A"});
    const auto first = check.deviceOpened(0, false);
    ASSERT_TRUE(first);
    EXPECT_TRUE(contains(first->what, "built-in synthesizer"));
    EXPECT_TRUE(check.noticeGiven());
    EXPECT_FALSE(check.deviceOpened(0, false));
    EXPECT_FALSE(check.deviceOpened(1, false));
    check.deviceOpened(1, true);
    EXPECT_FALSE(check.notesRefused());
}

TEST(SoundCheck, TestToneResultSaysWhetherTheDeviceTookTheChord) {
    SoundCheck check([] { return true; });
    check.setDeviceNames({"Synth", "Port A"});
    EXPECT_TRUE(contains(check.testToneResult(false, false), "no device is open"));
    check.deviceOpened(1, true);
    EXPECT_TRUE(contains(check.testToneResult(true, true), "Port A took the chord"));
    const std::string refused = check.testToneResult(true, false);
    EXPECT_TRUE(contains(refused, "Port A refused the chord")) << refused;
    EXPECT_TRUE(contains(refused, "choose another device")) << refused;
}

// ---- Instrument -------------------------------------------------------------

TEST(GeneralMidi, NamesEveryProgramOnceInFamiliesOfEight) {
    std::set<std::string_view> names;
    for (int p = 0; p < gm::kPrograms; ++p) {
        EXPECT_FALSE(gm::programName(p).empty()) << p;
        names.insert(gm::programName(p));
    }
    EXPECT_EQ(names.size(), 128u);
    const std::pair<int, std::string_view> landmarks[] = {{0, "Acoustic Grand Piano"},
                                                          {19, "Church Organ"},
                                                          {40, "Violin"},
                                                          {56, "Trumpet"},
                                                          {73, "Flute"},
                                                          {127, "Gunshot"}};
    for (const auto& [program, name] : landmarks)
        EXPECT_EQ(gm::programName(program), name);
    EXPECT_EQ(gm::familyName(5), "Strings");
    EXPECT_EQ(gm::familyName(15), "Sound Effects");
    EXPECT_TRUE(gm::programName(128).empty());
    EXPECT_TRUE(gm::programName(-1).empty());
    EXPECT_TRUE(gm::familyName(16).empty());
}

class InstrumentTest : public ::testing::Test {
protected:
    TMidiLib lib{nullptr, "StandInMidi"};
    TMidiLibOut out;
    void SetUp() override {
        out.MidiLib = &lib;
        ASSERT_TRUE(out.Open(0, 78624));
        standin::reset();
    }
    void TearDown() override { standin::reset(); }
    static std::vector<std::pair<int, int>> programChanges() {
        std::vector<std::pair<int, int>> changes;
        for (const MIDIEVENT& e : standin::putEvents()) {
            EXPECT_EQ(e.time, MIDILIB_TIME_NOW);
            if ((e.status & 0xF0) == 0xC0)
                changes.emplace_back(e.status & 0x0F, e.data1);
        }
        return changes;
    }
};

TEST_F(InstrumentTest, SendsNothingUntilChosenThenAtEachMoment) {
    InstrumentChoice choice;
    EXPECT_EQ(choice.program(), 0);
    EXPECT_TRUE(choice.deviceOpened(&out));
    EXPECT_TRUE(choice.drillReset(&out));
    EXPECT_TRUE(standin::putEvents().empty()) << "the piano is the device's own: nothing sent";

    using Changes = std::vector<std::pair<int, int>>;
    EXPECT_TRUE(choice.choose(40, &out));
    EXPECT_EQ(programChanges(), (Changes{{0, 40}}));
    EXPECT_TRUE(choice.deviceOpened(&out));
    EXPECT_TRUE(choice.drillReset(&out));
    EXPECT_EQ(programChanges(), (Changes{{0, 40}, {0, 40}, {0, 40}}));
    // Choosing the piano again is a choice like any other: it is sent.
    EXPECT_TRUE(choice.choose(0, &out));
    EXPECT_EQ(programChanges().back(), (std::pair<int, int>{0, 0}));
}

TEST_F(InstrumentTest, RefusesProgramsOutOfRangeAndReportsARefusedSend) {
    InstrumentChoice choice;
    EXPECT_FALSE(choice.choose(128, &out));
    EXPECT_FALSE(choice.choose(-1, &out));
    EXPECT_FALSE(choice.chosen());
    choice.restore(200);
    EXPECT_FALSE(choice.chosen());
    choice.restore(73);
    EXPECT_EQ(choice.program(), 73);
    EXPECT_TRUE(standin::putEvents().empty());

    standin::setPutResult(4);
    EXPECT_FALSE(choice.deviceOpened(&out));
    // A closed port has no device to tell; nothing is lost.
    out.Close();
    standin::reset();
    EXPECT_TRUE(choice.deviceOpened(&out));
    EXPECT_TRUE(standin::putEvents().empty());
}

// ---- Reveal -------------------------------------------------------------------

class FakeRevealGuide final : public RevealGuide {
public:
    bool visible = true;
    int shown = -1;
    [[nodiscard]] bool guideVisible() const override { return visible; }
    void showReveal(int i) override { shown = i; }
    void hideReveal(int i) override {
        if (shown == i)
            shown = -1;
    }
};

struct RevealCase {
    const char* name;
    int mode;
    int low, high;
    int marker; // -1: no key names it
    std::string answer;
};

class RevealAnswer : public ::testing::TestWithParam<RevealCase> {};

TEST_P(RevealAnswer, ShowsTheRightKeyAndNamesIt) {
    const RevealCase& c = GetParam();
    FakeClock clock;
    RecordingDrill drill(clock);
    drill.mode = c.mode;
    drill.setQuestion(c.low, c.high);
    EXPECT_EQ(AnswerReveal::rightMarker(drill), c.marker);
    EXPECT_EQ(AnswerReveal::answerName(drill), c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RevealAnswer,
    ::testing::Values(RevealCase{"mod12Fifth", 1, 60, 67, 6, "perfect fifth: key 7"},
                      RevealCase{"mod12MinorSeventh", 1, 50, 60, 9, "minor seventh: key 0"},
                      RevealCase{"mod12MajorSeventh", 1, 50, 61, 10, "major seventh: key -"},
                      RevealCase{"mod12Octave", 1, 43, 55, 11, "octave: key ="},
                      RevealCase{"mod12Tenth", 1, 43, 59, 3, "major third (major tenth): key 4"},
                      RevealCase{"mod12TwoOctaves", 1, 43, 67, 11, "octave (two octaves): key ="},
                      RevealCase{"classFourth", 2, 60, 65, 4,
                                 "interval class 5, perfect fourth or fifth: key 5"},
                      RevealCase{"classFifthFolds", 2, 60, 67, 4,
                                 "interval class 5, perfect fourth or fifth: key 5"},
                      RevealCase{"classOctave", 2, 48, 60, 11, "interval class 0, octave: key ="},
                      RevealCase{"pitchThird", 0, 60, 63, 2, "minor third: type 3"},
                      RevealCase{"pitchOctave", 0, 48, 60, 11, "octave: type 12"},
                      RevealCase{"pitchBeyondTheKeys", 0, 43, 60, -1, "perfect eleventh: type 17"}),
    [](const auto& info) { return std::string(info.param.name); });

// Records the moments the drill reports.
struct RecordingEvents final : DrillEvents {
    std::vector<std::string> seen;
    void noteRefused() override { seen.push_back("refused"); }
    void questionDrawn() override { seen.push_back("drawn"); }
    void wrongAnswerCounted() override { seen.push_back("wrong"); }
    void drillReset() override { seen.push_back("reset"); }
};

TEST(RevealAnswerOnTheGuide, ShowsForTwoSecondsBesideTheCrossAndLeavesGradingAlone) {
    // Two drills on the same seed and the same answers, one revealing: the
    // counters, tallies and questions must come out the same.
    FakeClock clockA, clockB;
    clockA.time = clockB.time = 1000;
    RecordingDrill plain(clockA), revealing(clockB);
    FakeKeyGuide crossesA, crossesB;
    plain.setKeyGuide(&crossesA);
    revealing.setKeyGuide(&crossesB);
    FakeRevealGuide guide;
    AnswerReveal reveal;
    reveal.enabled = true;
    struct Forward final : DrillEvents {
        AnswerReveal* reveal;
        FakeRevealGuide* guide;
        DrillState* drill;
        void wrongAnswerCounted() override { reveal->wrongAnswer(*drill, guide); }
        void questionDrawn() override { reveal->clear(guide); }
    } forward;
    forward.reveal = &reveal;
    forward.guide = &guide;
    forward.drill = &revealing;
    revealing.setDrillEvents(&forward);

    ASSERT_TRUE(plain.beginDrill());
    ASSERT_TRUE(revealing.beginDrill());
    ASSERT_EQ(plain.pitchInterval, revealing.pitchInterval);
    const int right = AnswerReveal::rightMarker(revealing);
    const int wrongKey = mod12Key((revealing.m12Interval + 1) % 12);
    plain.answerKey(wrongKey);
    revealing.answerKey(wrongKey);
    EXPECT_EQ(guide.shown, right);
    const int cross =
        (revealing.m12Interval + 1) % 12 == 0 ? 11 : (revealing.m12Interval + 1) % 12 - 1;
    EXPECT_TRUE(crossesB.shown[cross]) << "the cross stays as it was";
    EXPECT_NE(cross, right);

    // Hidden on the tick after the cross's own deadline, not before.
    for (FakeClock* c : {&clockA, &clockB})
        c->advance(AnswerReveal::kMarkerMs);
    reveal.tick(clockB.time, &guide);
    EXPECT_EQ(guide.shown, right);
    for (FakeClock* c : {&clockA, &clockB})
        c->advance(1);
    reveal.tick(clockB.time, &guide);
    EXPECT_EQ(guide.shown, -1);

    // A second wrong answer, then the right one: the next question clears it.
    plain.answerKey(wrongKey);
    revealing.answerKey(wrongKey);
    EXPECT_EQ(guide.shown, right);
    plain.answerKey(mod12Key(plain.m12Interval));
    revealing.answerKey(mod12Key(revealing.m12Interval));
    EXPECT_EQ(guide.shown, -1);

    EXPECT_EQ(plain.correctCount, revealing.correctCount);
    EXPECT_EQ(plain.incorrectCount, revealing.incorrectCount);
    EXPECT_EQ(revealing.incorrectCount, 2);
    for (int row = 0; row < kTallyRows; ++row)
        EXPECT_EQ(plain.sessionTally[row], revealing.sessionTally[row]) << row;
    EXPECT_EQ(plain.pitchInterval, revealing.pitchInterval);

    // Off, or with the guide hidden, nothing is shown.
    reveal.enabled = false;
    revealing.answerKey(wrongKey);
    EXPECT_EQ(guide.shown, -1);
    reveal.enabled = true;
    guide.visible = false;
    revealing.answerKey(wrongKey);
    EXPECT_EQ(guide.shown, -1);
}

TEST(DrillEventsReported, AtEachMomentInOrder) {
    FakeClock clock;
    TMidiLib lib{nullptr, "StandInMidi"};
    TMidiLibOut out;
    out.MidiLib = &lib;
    ASSERT_TRUE(out.Open(0, 78624));
    RecordingDrill drill(clock);
    drill.setNoteOutput(&out);
    RecordingEvents events;
    drill.setDrillEvents(&events);

    ASSERT_TRUE(drill.beginDrill());
    drill.answerKey(mod12Key((drill.m12Interval + 1) % 12));
    standin::setPutResult(4); // the device refuses from here on
    drill.answerKey(mod12Key(drill.m12Interval));
    standin::setPutResult(0);
    drill.correctCount = 10;
    drill.endDrill();
    EXPECT_EQ(events.seen, (std::vector<std::string>{"drawn", "wrong", "drawn", "refused",
                                                     "refused", "refused", "refused", "reset"}))
        << "one refusal per note: two notes silenced, two struck";
    drill.setDrillEvents(nullptr);
    out.Close();
    standin::reset();
}

} // namespace
