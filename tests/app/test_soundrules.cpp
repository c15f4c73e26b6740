// The rules behind the sound features: what the user is told when a device
// cannot sound, the General MIDI names, and the revealed answer, which must
// name the right key. The window's tests cover the marks, the moments of the
// Program Changes, the once-per-run notice and grading left alone.

#include "app/reveal.h"
#include "app/soundcheck.h"
#include "settings/instrument.h"
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

    // A kept choice out of range is no choice; nothing is sent for it.
    InstrumentChoice choice;
    choice.restore(200);
    EXPECT_FALSE(choice.chosen());
    EXPECT_FALSE(choice.choose(128, nullptr));
    EXPECT_EQ(choice.program(), InstrumentChoice::kDefaultProgram);
}

// ---- Reveal -------------------------------------------------------------------

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

} // namespace
