// The chosen instrument through the real built-in synthesizer, rendered
// offline: the drill's question sounds with it, unlike the piano, and
// choosing the piano sounds exactly as sending nothing does.

#include "midi/midilib.h"
#include "settings/instrument.h"
#include "tests/support/testdrill.h"

#include <midilib32_render.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

namespace {

using RenderFn = uint32_t (*)(uint32_t, float*, float*, uint32_t);

RenderFn renderEntry() {
    void* library = dlopen("libMidiLib32.so", RTLD_NOW | RTLD_NOLOAD);
    return library ? reinterpret_cast<RenderFn>(dlsym(library, "_RenderMidiOut$16")) : nullptr;
}

// A second of the drill's chord 60-67 on a fresh offline synthesizer, after
// the instrument `program` is chosen (none: nothing chosen).
std::vector<float> renderQuestion(TMidiLib& lib, std::optional<int> program) {
    const RenderFn render = renderEntry();
    TMidiLibOut port;
    port.MidiLib = &lib;
    if (!render || !port.Open(0, MIDILIB_OUT_OFFLINE))
        return {};
    InstrumentChoice instrument;
    if (program && !instrument.choose(*program, &port))
        return {};
    FakeClock clock;
    RecordingDrill drill(clock);
    drill.setNoteOutput(&port);
    drill.setQuestion(60, 67);
    drill.playQuestion();
    std::vector<float> left(MIDILIB_RENDER_RATE), right(MIDILIB_RENDER_RATE);
    const uint32_t frames = render(port.handle(), left.data(), right.data(), MIDILIB_RENDER_RATE);
    port.Close();
    if (frames != MIDILIB_RENDER_RATE)
        return {};
    return left;
}

double rms(const std::vector<float>& a) {
    double sum = 0;
    for (float x : a)
        sum += double(x) * x;
    return std::sqrt(sum / double(a.size()));
}

double rmsOfDifference(const std::vector<float>& a, const std::vector<float>& b) {
    std::vector<float> d(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        d[i] = a[i] - b[i];
    return rms(d);
}

TEST(InstrumentRender, AChosenInstrumentSoundsUnlikeThePiano) {
    TMidiLib lib(nullptr, "MidiLib32");
    const std::vector<float> asIs = renderQuestion(lib, std::nullopt);
    const std::vector<float> piano = renderQuestion(lib, 0);
    ASSERT_EQ(asIs.size(), size_t(MIDILIB_RENDER_RATE));
    ASSERT_EQ(piano.size(), asIs.size());
    ASSERT_GT(rms(asIs), 1e-4) << "the piano is silent";
    EXPECT_LT(rmsOfDifference(asIs, piano), 1e-6 * rms(asIs) + 1e-9)
        << "choosing the piano changes nothing the device did not already play";

    // Each alone sounds, and unlike the piano: at least half the piano's
    // own level lies in the difference.
    for (int program : {19, 40, 73}) {
        const std::vector<float> other = renderQuestion(lib, program);
        ASSERT_EQ(other.size(), asIs.size()) << program;
        EXPECT_GT(rms(other), 1e-4) << gm::programName(program) << " is silent";
        EXPECT_GT(rmsOfDifference(other, asIs), 0.5 * std::min(rms(asIs), rms(other)))
            << gm::programName(program) << " sounds like the piano";
    }
}

} // namespace
