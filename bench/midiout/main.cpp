// The output side of the MIDI library against its goals: how fast a note
// reaches the synthesizer, the audio latency and underruns of the period
// settings, offline rendering speed and the CPU an idle open port uses.
// Run with a JACK server reachable (JACK_DEFAULT_SERVER) to include the
// synthesizer's real audio output; without one, the figures that need it
// say so.
#include "midilib32.h"
#include "midilib32_render.h"
#include "outport.h"
#include "sound.h"
#include "synthout.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <jack/jack.h>
#include <memory>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace midilib;
using SteadyClock = std::chrono::steady_clock;

namespace {

double millisSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p / 100.0 * (v.size() - 1) + 0.5))];
}

// Hands messages to the real synthesizer and notes when each one has
// reached it (the engine has started or ended the voice when send returns).
class TimingSink final : public OutSink {
public:
    explicit TimingSink(std::unique_ptr<OutSink> synth) : synth_(std::move(synth)) {}
    bool send(const uint8_t* bytes, size_t length) override {
        const bool ok = synth_->send(bytes, length);
        arrived_.store(SteadyClock::now().time_since_epoch().count());
        return ok;
    }
    void silence(const SoundingNotes& s) override { synth_->silence(s); }
    bool render(float* l, float* r, uint32_t n) override { return synth_->render(l, r, n); }
    int64_t arrived() const { return arrived_.load(); }

private:
    std::unique_ptr<OutSink> synth_;
    std::atomic<int64_t> arrived_{0};
};

// Put of a note-on to its arrival in the synthesizer, for events sent at
// once and for events scheduled with no delay (through the port's thread).
void putToSynth(bool withAudio) {
    auto synth = openSynth(!withAudio);
    if (!synth) {
        std::printf("put -> synthesizer (%s): synthesizer did not open\n",
                    withAudio ? "audio running" : "no audio");
        return;
    }
    auto timing = std::make_unique<TimingSink>(std::move(synth));
    TimingSink* sink = timing.get();
    OutPort::Options options;
    options.offline = false;
    OutPort port(std::move(timing), options);
    // The first message waits for the soundfont; leave that out.
    MIDIEVENT warm{MIDILIB_TIME_NOW, 0xC0, 0, 0, 0};
    port.put(warm);

    for (const bool scheduled : {false, true}) {
        std::vector<double> micros;
        const int events = 10000;
        for (int i = 0; i < events; ++i) {
            const uint8_t note = static_cast<uint8_t>(43 + i % 25);
            MIDIEVENT on{scheduled ? 0u : MIDILIB_TIME_NOW, 0x90, note, 64, 0};
            const int64_t before = sink->arrived();
            const auto start = SteadyClock::now();
            port.put(on);
            while (sink->arrived() == before)
                std::this_thread::yield();
            micros.push_back(
                std::chrono::duration<double, std::micro>(
                    SteadyClock::time_point(SteadyClock::duration(sink->arrived())) - start)
                    .count());
            MIDIEVENT off{MIDILIB_TIME_NOW, 0x90, note, 0, 0};
            port.put(off);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        std::printf("put -> note-on in synthesizer, %s, %s, %d events: median %.1f us, "
                    "99th percentile %.1f us, max %.1f us\n",
                    scheduled ? "scheduled (delay 0)" : "sent at once",
                    withAudio ? "audio running" : "no audio driver", events, percentile(micros, 50),
                    percentile(micros, 99), *std::max_element(micros.begin(), micros.end()));
    }
    port.close();
}

// Renders one period at a time, paced by the clock as an audio callback
// is, on a real-time thread as the audio drivers ask for: when the callback
// for period i is due, the device still holds periods - 1 periods to play,
// so the render must be done within that time or the output runs dry.
void pacedCallback(int periodSize, int periods, double seconds) {
    sched_param param{};
    param.sched_priority = 60;
    const bool realTime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    auto synth = openSynth(true);
    MIDIEVENT chordA{0, 0x90, 60, 64, 0}, chordB{0, 0x90, 67, 64, 0};
    const uint8_t a[3] = {chordA.status, chordA.data1, chordA.data2};
    const uint8_t b[3] = {chordB.status, chordB.data1, chordB.data2};
    std::vector<float> l(periodSize), r(periodSize);
    const double periodNanos = 1e9 * periodSize / SynthAudio::sampleRate;
    const long total = static_cast<long>(seconds * SynthAudio::sampleRate / periodSize);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    double worstMicros = 0, worstFinish = 0;
    long underruns = 0;
    for (long i = 0; i < total; ++i) {
        if (i % (SynthAudio::sampleRate / periodSize) == 0) { // restrike every second
            synth->send(a, 3);
            synth->send(b, 3);
        }
        const auto start = SteadyClock::now();
        synth->render(l.data(), r.data(), periodSize);
        const double took = millisSince(start) * 1000;
        worstMicros = std::max(worstMicros, took);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double finish = (now.tv_sec - next.tv_sec) * 1e9 + (now.tv_nsec - next.tv_nsec);
        worstFinish = std::max(worstFinish, finish);
        if (finish > periodNanos * (periods - 1))
            ++underruns;
        const long step = static_cast<long>(periodNanos);
        next.tv_nsec += step;
        while (next.tv_nsec >= 1000000000) {
            next.tv_nsec -= 1000000000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
    std::printf("callback %3d frames x %d periods (%s): latency %5.2f ms, %ld callbacks in %.0f "
                "s, worst render %.0f us, worst finish %.0f us after due of %.0f us allowed, "
                "%ld underruns\n",
                periodSize, periods, realTime ? "real-time thread" : "ordinary thread",
                1000.0 * periodSize * periods / SynthAudio::sampleRate, total, seconds, worstMicros,
                worstFinish / 1000, periodNanos * (periods - 1) / 1000, underruns);
}

std::atomic<int> jackXruns{0};
int onXrun(void*) {
    jackXruns.fetch_add(1);
    return 0;
}

// The synthesizer's real audio output on a running JACK server, with a
// client of our own counting the server's xruns.
void jackAudioRun(double seconds) {
    if (!jackServerRunning()) {
        std::printf("audio through JACK: no JACK server reachable, not run\n");
        return;
    }
    jack_status_t status{};
    jack_client_t* watcher = jack_client_open("bench xruns", JackNoStartServer, &status);
    jack_set_xrun_callback(watcher, onXrun, nullptr);
    jack_activate(watcher);
    const uint32_t frames = jack_get_buffer_size(watcher);
    const uint32_t rate = jack_get_sample_rate(watcher);
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, 0);
    if (port <= 32) {
        std::printf("audio through JACK: synthesizer did not open\n");
        jack_client_close(watcher);
        return;
    }
    const double cpuBefore = cpuSeconds();
    const auto start = SteadyClock::now();
    while (millisSince(start) < seconds * 1000) {
        for (uint8_t note : {60, 67}) {
            MIDIEVENT on{MIDILIB_TIME_NOW, 0x90, note, 64, 0};
            PutMidiOut(port, &on);
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    const double cpu = (cpuSeconds() - cpuBefore) / seconds * 100;
    CloseMidiOut(port);
    jack_client_close(watcher);
    std::printf("audio through JACK (server period %u frames at %u Hz): %.0f s with two notes "
                "sounding, %d xruns, CPU %.1f %% of a core\n",
                frames, rate, seconds, jackXruns.load(), cpu);
}

// Offline rendering speed: two notes sounding, reverb and chorus on.
void renderSpeed() {
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, MIDILIB_OUT_OFFLINE);
    const uint32_t block = 256;
    std::vector<float> l(block), r(block);
    RenderMidiOut(port, l.data(), r.data(), block); // soundfont loaded
    const double seconds = 60;
    const auto start = SteadyClock::now();
    const double cpuStart = threadCpuSeconds();
    for (uint32_t done = 0; done < seconds * MIDILIB_RENDER_RATE; done += block) {
        if (done % MIDILIB_RENDER_RATE < block) {
            for (uint8_t note : {60, 67}) {
                MIDIEVENT on{MIDILIB_TIME_NOW, 0x90, note, 64, 0};
                PutMidiOut(port, &on);
            }
        }
        RenderMidiOut(port, l.data(), r.data(), block);
    }
    const double took = millisSince(start) / 1000;
    const double cpu = threadCpuSeconds() - cpuStart;
    CloseMidiOut(port);
    std::printf("offline rendering, two notes, effects on: %.0f s of audio in %.3f s of CPU = "
                "%.0fx real time (%.3f s wall clock = %.0fx, shared cores)\n",
                seconds, cpu, seconds / cpu, took, seconds / took);
}

void idleCpu(bool withAudio, double seconds) {
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, withAudio ? 0 : MIDILIB_OUT_OFFLINE);
    if (port <= 32) {
        std::printf("idle CPU (%s): synthesizer did not open\n",
                    withAudio ? "audio running" : "no audio driver");
        return;
    }
    MIDIEVENT warm{MIDILIB_TIME_NOW, 0xC0, 0, 0, 0};
    PutMidiOut(port, &warm);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double before = cpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double used = cpuSeconds() - before;
    CloseMidiOut(port);
    std::printf("idle CPU with device 0 open (%s): %.3f s of CPU in %.0f s = %.2f %% of a core\n",
                withAudio ? "audio running through JACK" : "no audio driver", used, seconds,
                used / seconds * 100);
}

} // namespace

int main() {
    quietSoundLibraries();
    const bool audio = jackServerRunning();
    putToSynth(false);
    if (audio)
        putToSynth(true);
    for (const int period : {64, 128, 256})
        pacedCallback(period, 2, 10.0);
    jackAudioRun(10.0);
    renderSpeed();
    idleCpu(false, 5.0);
    if (audio)
        idleCpu(true, 5.0);
    return 0;
}
