// The drill through the real built-in synthesizer, rendered offline: the
// test clock renders the audio forward while the drill waits, so the
// figure's tones land in the audio where the drill's timing puts them.

#include "midi/midilib.h"
#include "tests/support/testdrill.h"

#include <midilib32_render.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using RenderFn = uint32_t (*)(uint32_t, float*, float*, uint32_t);

constexpr int kFramesPerMs = MIDILIB_RENDER_RATE / 1000;

// Audio of one offline port, rendered as time moves on.
struct Recording {
    RenderFn render = nullptr;
    uint32_t port = 0;
    std::vector<float> left, right;

    void forward(int frames) {
        const std::size_t at = left.size();
        left.resize(at + frames);
        right.resize(at + frames);
        ASSERT_EQ(render(port, left.data() + at, right.data() + at, frames),
                  static_cast<uint32_t>(frames));
    }
};

// A clock whose waits render the port's audio up to the target.
class RenderingClock final : public Clock {
public:
    explicit RenderingClock(Recording& r) : recording_(r) {}
    [[nodiscard]] int32_t now() const override { return time_; }
    void waitUntil(int32_t target) override {
        if (target > time_)
            recording_.forward((target - time_) * kFramesPerMs);
        time_ = std::max(time_, target);
    }

private:
    Recording& recording_;
    int32_t time_ = 0;
};

RenderFn renderEntry() {
    void* library = dlopen("libMidiLib32.so", RTLD_NOW | RTLD_NOLOAD);
    return library ? reinterpret_cast<RenderFn>(dlsym(library, "_RenderMidiOut$16")) : nullptr;
}

// First frame where the two signals differ by more than a faint trace.
std::size_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (std::fabs(a[i] - b[i]) > 1e-3f)
            return i;
    return a.size();
}

std::size_t firstSound(const std::vector<float>& a) {
    return firstDifference(a, std::vector<float>(a.size()));
}

// One note struck at frame 0 on a fresh offline synthesizer.
std::vector<float> renderAlone(TMidiLib& lib, RenderFn render, int note, std::size_t frames) {
    TMidiLibOut port;
    port.MidiLib = &lib;
    Recording audio{render, 0, {}, {}};
    if (!port.Open(0, MIDILIB_OUT_OFFLINE))
        return {};
    audio.port = port.handle();
    MIDIEVENT on{MIDILIB_TIME_NOW, 0x90, static_cast<uint8_t>(note), 64, 0};
    port.Put(&on);
    audio.forward(static_cast<int>(frames));
    port.Close();
    return audio.left;
}

TEST(DrillRender, FiguresTonesStart500MsApartInTheSynthesizersAudio) {
    TMidiLib lib(nullptr, "MidiLib32");
    const RenderFn render = renderEntry();
    ASSERT_NE(render, nullptr);

    // The figure as the drill plays it: 60, then 67 after its wait.
    Recording figure{render, 0, {}, {}};
    TMidiLibOut out;
    out.MidiLib = &lib;
    ASSERT_TRUE(out.Open(0, MIDILIB_OUT_OFFLINE));
    figure.port = out.handle();
    RenderingClock clock(figure);
    RecordingDrill drill(clock);
    drill.setNoteOutput(&out);
    drill.givenAs = 1;
    drill.setQuestion(60, 67);
    drill.playQuestion();
    clock.wait(500); // let the second tone sound
    out.Close();
    const std::size_t frames = figure.left.size();
    ASSERT_EQ(frames, 1000u * kFramesPerMs);

    // Each note's sound rises above the trace a few milliseconds after its
    // note-on (its own attack); measured alone, that delay is taken off.
    // Where the figure parts from the first tone alone, the second begins.
    const std::vector<float> first = renderAlone(lib, render, 60, frames);
    const std::vector<float> second = renderAlone(lib, render, 67, frames);
    ASSERT_EQ(first.size(), frames);
    ASSERT_EQ(second.size(), frames);
    const double firstStart = double(firstSound(figure.left)) - double(firstSound(first));
    const double secondStart =
        double(firstDifference(figure.left, first)) - double(firstSound(second));
    ASSERT_LT(firstSound(figure.left), frames) << "the first tone is silent";
    ASSERT_LT(firstDifference(figure.left, first), frames) << "the second tone is silent";
    EXPECT_NEAR(firstStart / kFramesPerMs, 0.0, 5.0);
    EXPECT_NEAR((secondStart - firstStart) / kFramesPerMs, 500.0, 5.0);
}

} // namespace
