// The output side of the MIDI library, measured where a listener would
// hear it: the built-in synthesizer (device 0) opened through the library's
// C interface on a JACK server that this program starts itself (dummy
// driver, 48 kHz), once with 256-frame periods and once with 1024.
//
// For each server: the time from PutMidiOut to the first non-silent sample
// at the server's audio output, over many isolated notes; the server's
// xruns while the synthesizer plays a dense stream; the CPU of an idle open
// port. Without a server: offline rendering speed and idle CPU.
//
// bench_midiout [notes]   (default 25 notes per server and way of putting;
// each note takes some 3.3 s, for the silence before it)
//
// "At the output" is the moment the sample leaves the server's playback
// port: a client of this program reads the synthesizer's output ports;
// the first non-zero sample it sees lies in the cycle that starts at frame
// F = jack_last_frame_time, at offset k; it reaches the playback port L
// frames later, L being the playback latency JACK reports for the
// synthesizer's port. Its time is jack_frames_to_time(F + k + L), on the
// same clock as jack_get_time, read just before PutMidiOut.
#include "bench/loadaverage.h"
#include "midilib32.h"
#include "midilib32_render.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <jack/jack.h>
#include <optional>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int sampleRate = 48000;
// Device 0's own audio settings (the library asks the engine for these;
// a JACK server runs at its own period whatever a client asks).
constexpr int libraryPeriod = 256;
constexpr int libraryPeriods = 2;
const char* const synthPorts = "^MidiLib32 synthesizer:";

double millisSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Whether the port took the event.
bool put(uint32_t port, uint32_t time, uint8_t status, uint8_t data1, uint8_t data2) {
    MIDIEVENT event{time, status, data1, data2, 0};
    return (PutMidiOut(port, &event) & 0xFFFF) == 0;
}

void jackSilent(const char*) {}

// ---- On a running server (a child process: JACK_DEFAULT_SERVER names it)

// A client of the benchmark's own that reads the synthesizer's two output
// ports and notes the first non-silent sample after it is armed.
class Listener {
public:
    bool open() {
        jack_status_t status{};
        client_ = jack_client_open("tonyx-bench listener", JackNoStartServer, &status);
        if (!client_)
            return false;
        for (int i = 0; i < 2; ++i) {
            in_[i] = jack_port_register(client_, i ? "in_r" : "in_l", JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsInput, 0);
            if (!in_[i])
                return false;
        }
        jack_set_process_callback(client_, process, this);
        jack_set_xrun_callback(client_, onXrun, this);
        return jack_activate(client_) == 0;
    }

    ~Listener() {
        if (client_)
            jack_client_close(client_);
    }

    jack_client_t* client() const { return client_; }

    // Connects the synthesizer's audio outputs to ours; returns the playback
    // latency JACK reports for the synthesizer's first port, or -1 when it
    // has none on this server.
    long connectSynth() {
        const char** ports =
            jack_get_ports(client_, synthPorts, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        if (!ports || !ports[0]) {
            jack_free(ports);
            return -1;
        }
        for (int i = 0; i < 2 && ports[i]; ++i)
            jack_connect(client_, ports[i], jack_port_name(in_[i]));
        jack_latency_range_t range{};
        jack_port_get_latency_range(jack_port_by_name(client_, ports[0]), JackPlaybackLatency,
                                    &range);
        jack_free(ports);
        return long(range.max);
    }

    // Cycles in a row that were all silent.
    uint32_t quietCycles() const { return quiet_.load(); }

    // From now on, the first non-silent sample is noted.
    void arm() {
        onset_.store(-1);
        armed_.store(true);
    }
    // Its frame (F + k), or -1 while none came.
    int64_t onset() const { return onset_.load(); }
    // How long after its cycle's place in the stream (the time of frame F)
    // the client ran in that cycle, in microseconds: a cycle that runs late
    // takes notes put after its time.
    int64_t onsetLateness() const { return lateness_.load(); }
    int xruns() const { return xruns_.load(); }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* l = static_cast<Listener*>(self);
        const auto* a = static_cast<const float*>(jack_port_get_buffer(l->in_[0], frames));
        const auto* b = static_cast<const float*>(jack_port_get_buffer(l->in_[1], frames));
        jack_nframes_t first = frames;
        for (jack_nframes_t k = 0; k < frames; ++k) {
            if (a[k] != 0.0f || b[k] != 0.0f) {
                first = k;
                break;
            }
        }
        if (first == frames) {
            l->quiet_.fetch_add(1);
            return 0;
        }
        l->quiet_.store(0);
        if (l->armed_.exchange(false)) {
            const jack_nframes_t cycle = jack_last_frame_time(l->client_);
            l->lateness_.store(int64_t(jack_get_time()) -
                               int64_t(jack_frames_to_time(l->client_, cycle)));
            l->onset_.store(int64_t(cycle) + first);
        }
        return 0;
    }

    static int onXrun(void* self) {
        static_cast<Listener*>(self)->xruns_.fetch_add(1);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* in_[2] = {nullptr, nullptr};
    std::atomic<uint32_t> quiet_{0};
    std::atomic<bool> armed_{false};
    std::atomic<int64_t> onset_{-1};
    std::atomic<int64_t> lateness_{0};
    std::atomic<int> xruns_{0};
};

bool waitFor(double millis, const auto& done) {
    const auto start = SteadyClock::now();
    while (!done()) {
        if (millisSince(start) > millis)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

struct LatencyRun {
    std::vector<double> millis;     // put to the first sample at the output
    std::vector<double> callMicros; // how long PutMidiOut took
    std::vector<double> lateMillis; // how late the note's cycle ran
    int xruns = 0;
    int lost = 0; // notes refused, or never heard within a second
};

// Isolated notes: each one waits for silence, then a random part of a
// period (so puts fall anywhere in the cycle), is put, heard, and stopped.
// Silence is exact zeros: the synthesizer leaves the driver's buffers
// zeroed once its echo has died away, some 3 s after its last voice, so
// a note costs about that long, and its first sample is not mistaken for
// the tail of the one before.
LatencyRun measureLatency(Listener& listener, uint32_t port, long latencyFrames, uint32_t period,
                          int notes, bool scheduled, std::mt19937& random) {
    LatencyRun run;
    const double periodMicros = 1e6 * period / sampleRate;
    // Silence for 30 ms and at least two whole cycles.
    const uint32_t quietNeeded = std::max<uint32_t>(2, uint32_t(30000 / periodMicros) + 1);
    const double quietWait = 10000; // the echo's 3 s, and room on a loaded machine
    std::uniform_real_distribution<double> phase(0, periodMicros);
    const int xrunsBefore = listener.xruns();
    for (int i = 0; i < notes; ++i) {
        if (!waitFor(quietWait, [&] { return listener.quietCycles() >= quietNeeded; })) {
            std::printf("  the output did not fall silent; stopped after %d notes\n", i);
            break;
        }
        std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(phase(random)));
        const uint8_t note = uint8_t(48 + i % 24);
        listener.arm();
        const jack_time_t before = jack_get_time();
        const bool taken = put(port, scheduled ? 0 : MIDILIB_TIME_NOW, 0x90, note, 100);
        const jack_time_t returned = jack_get_time();
        if (taken && waitFor(1000, [&] { return listener.onset() >= 0; })) {
            const auto frame = jack_nframes_t(listener.onset() + latencyFrames);
            const jack_time_t out = jack_frames_to_time(listener.client(), frame);
            run.millis.push_back((double(int64_t(out - before))) / 1000.0);
            run.callMicros.push_back(double(returned - before));
            run.lateMillis.push_back(double(listener.onsetLateness()) / 1000.0);
        } else {
            ++run.lost;
        }
        // Off at once, with no release, so the echo starts dying away now.
        put(port, MIDILIB_TIME_NOW, 0x80, note, 0);
        put(port, MIDILIB_TIME_NOW, 0xB0, 120, 0);
    }
    run.xruns = listener.xruns() - xrunsBefore;
    return run;
}

std::atomic<int> xruns{0};
int onXrun(void*) {
    xruns.fetch_add(1);
    return 0;
}

// A dense stream on eight channels of different instruments: a note every
// 10 ms, each held 300 ms (some thirty notes and their releases sounding
// at once), with reverb and chorus. Counts the
// server's xruns through a client's xrun callback and samples JACK's DSP
// load.
void denseStream(uint32_t port, double seconds, std::mt19937& random) {
    jack_status_t status{};
    jack_client_t* watcher = jack_client_open("tonyx-bench xruns", JackNoStartServer, &status);
    if (!watcher) {
        std::printf("xruns: could not open a client to count them\n");
        return;
    }
    jack_set_xrun_callback(watcher, onXrun, nullptr);
    jack_activate(watcher);
    const double periodMillis =
        1000.0 * jack_get_buffer_size(watcher) / jack_get_sample_rate(watcher);
    const uint8_t programs[8] = {0, 24, 40, 48, 56, 73, 19, 33};
    for (uint8_t c = 0; c < 8; ++c) {
        put(port, MIDILIB_TIME_NOW, uint8_t(0xC0 | c), programs[c], 0);
        put(port, MIDILIB_TIME_NOW, uint8_t(0xB0 | c), 91, 40);
        put(port, MIDILIB_TIME_NOW, uint8_t(0xB0 | c), 93, 20);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // instruments' samples in
    xruns.store(0);
    std::uniform_int_distribution<int> pitch(36, 96);
    struct Held {
        int offAt;
        uint8_t channel, note;
    };
    std::vector<Held> held;
    float maxLoad = 0, sumLoad = 0;
    int loads = 0;
    const double cpuBefore = cpuSeconds();
    const int steps = int(seconds * 100);
    const auto start = SteadyClock::now();
    for (int step = 0; step < steps; ++step) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(10 * step));
        const uint8_t channel = uint8_t(step % 8);
        const uint8_t note = uint8_t(pitch(random));
        put(port, MIDILIB_TIME_NOW, uint8_t(0x90 | channel), note, 100);
        held.push_back({step + 30, channel, note});
        while (!held.empty() && held.front().offAt <= step) {
            put(port, MIDILIB_TIME_NOW, uint8_t(0x80 | held.front().channel), held.front().note, 0);
            held.erase(held.begin());
        }
        if (step % 10 == 0) {
            const float load = jack_cpu_load(watcher);
            maxLoad = std::max(maxLoad, load);
            sumLoad += load;
            ++loads;
        }
    }
    for (const Held& h : held)
        put(port, MIDILIB_TIME_NOW, uint8_t(0x80 | h.channel), h.note, 0);
    const double took = millisSince(start) / 1000;
    const double cpu = (cpuSeconds() - cpuBefore) / took * 100;
    const int counted = xruns.load();
    jack_client_close(watcher);
    std::printf("  dense stream (a note every 10 ms on 8 instruments, each held 300 ms) for "
                "%.1f s: %d xruns; JACK DSP load (the share of each cycle's computed %.2f ms "
                "used) mean %.1f %%, max %.1f %%; this process %.1f %% of a core\n",
                took, counted, periodMillis, loads ? sumLoad / float(loads) : 0.0f, maxLoad, cpu);
}

void idleCpuWithAudio(double seconds) {
    // The synthesizer stops computing some 3 s after its last voice ends
    // (its reverb's echo has died away by then).
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    const double before = cpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double used = cpuSeconds() - before;
    std::printf("  idle CPU with device 0 open (%.0f s, after its echo died away): %.2f %% of a "
                "core\n",
                seconds, used / seconds * 100);
}

void printLatency(const char* how, const LatencyRun& run) {
    if (run.millis.empty()) {
        std::printf("  put -> first sample at the output, %s: no note was heard\n", how);
        return;
    }
    const auto [lo, hi] = std::minmax_element(run.millis.begin(), run.millis.end());
    std::printf("  put -> first non-silent sample at the output, %s (%zu notes, %d lost): median "
                "%.1f ms, range %.1f to %.1f ms\n",
                how, run.millis.size(), run.lost, median(run.millis), *lo, *hi);
    std::printf("    its cycles ran a median %.2f ms, at most %.2f ms, after their place in the "
                "stream; %d xruns meanwhile\n",
                median(run.lateMillis),
                *std::max_element(run.lateMillis.begin(), run.lateMillis.end()), run.xruns);
}

int onServer(int notes) {
    jack_set_error_function(jackSilent);
    jack_set_info_function(jackSilent);
    std::optional<Listener> listening(std::in_place);
    Listener& listener = *listening;
    if (!listener.open()) {
        std::printf("  no JACK server to listen on\n");
        return 1;
    }
    const jack_nframes_t period = jack_get_buffer_size(listener.client());
    const jack_nframes_t rate = jack_get_sample_rate(listener.client());
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, 0);
    if (port <= 32) {
        std::printf("  device 0 did not open\n");
        return 1;
    }
    long latency = -1;
    waitFor(2000, [&] { return (latency = listener.connectSynth()) >= 0; });
    if (latency < 0) {
        std::printf("  device 0 opened, but not on this JACK server (another audio output "
                    "took it)\n");
        CloseMidiOut(port);
        return 1;
    }
    // The latencies are settled once the new connections are.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    latency = listener.connectSynth();
    std::printf("  server: %u frames per period at %u Hz, %s; JACK reports %ld frames "
                "(%.2f ms) from the synthesizer's port to the playback port\n",
                period, rate, jack_is_realtime(listener.client()) ? "real-time" : "not real-time",
                latency, 1000.0 * double(latency) / rate);

    // The first note waits for the soundfont to load.
    put(port, MIDILIB_TIME_NOW, 0xC0, 0, 0);
    listener.arm();
    put(port, MIDILIB_TIME_NOW, 0x90, 60, 100);
    if (!waitFor(10000, [&] { return listener.onset() >= 0; })) {
        std::printf("  device 0 played nothing within 10 s\n");
        CloseMidiOut(port);
        return 1;
    }
    put(port, MIDILIB_TIME_NOW, 0xB0, 120, 0);

    std::mt19937 random(19);
    const LatencyRun now = measureLatency(listener, port, latency, period, notes, false, random);
    const LatencyRun scheduled =
        measureLatency(listener, port, latency, period, notes, true, random);
    printLatency("sent at once", now);
    printLatency("scheduled with delay 0 (sent by the port's thread)", scheduled);
    const double floorLow = 1000.0 * double(latency) / rate;
    const double floorHigh = 1000.0 * double(latency + period) / rate;
    std::printf("  computed floor, not measured: the reported %ld frames (%u x %.1f periods) / "
                "%u Hz = %.2f ms, plus the wait for the next period (0 to %u frames): %.2f to "
                "%.2f ms, mean %.2f ms\n",
                latency, period, double(latency) / period, rate, floorLow, period, floorLow,
                floorHigh, (floorLow + floorHigh) / 2);
    if (!now.callMicros.empty()) {
        const auto [lo, hi] = std::minmax_element(now.callMicros.begin(), now.callMicros.end());
        std::printf("  PutMidiOut call duration, note-on sent at once: median %.0f us, range %.0f "
                    "to %.0f us\n",
                    median(now.callMicros), *lo, *hi);
    }
    listening.reset(); // its cycles no longer count below

    idleCpuWithAudio(5.0);
    denseStream(port, 10.0, random);
    CloseMidiOut(port);
    return 0;
}

// ---- Without a server

// Offline rendering speed: two notes sounding, reverb and chorus on.
void renderSpeed() {
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, MIDILIB_OUT_OFFLINE);
    if (port <= 32) {
        std::printf("offline rendering: device 0 did not open\n");
        return;
    }
    const uint32_t block = 256;
    std::vector<float> l(block), r(block);
    RenderMidiOut(port, l.data(), r.data(), block); // soundfont loaded
    const double seconds = 60;
    const auto start = SteadyClock::now();
    const double cpuStart = threadCpuSeconds();
    for (uint32_t done = 0; done < seconds * MIDILIB_RENDER_RATE; done += block) {
        if (done % MIDILIB_RENDER_RATE < block) {
            for (uint8_t note : {60, 67})
                put(port, MIDILIB_TIME_NOW, 0x90, note, 64);
        }
        RenderMidiOut(port, l.data(), r.data(), block);
    }
    const double took = millisSince(start) / 1000;
    const double cpu = threadCpuSeconds() - cpuStart;
    CloseMidiOut(port);
    std::printf("offline rendering, two notes, effects on: %.0f s of audio in %.3f s of CPU = "
                "%.0fx real time (%.3f s wall clock = %.0fx)\n",
                seconds, cpu, seconds / cpu, took, seconds / took);
}

void idleCpuOffline(double seconds) {
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, MIDILIB_OUT_OFFLINE);
    if (port <= 32) {
        std::printf("idle CPU (no audio driver): device 0 did not open\n");
        return;
    }
    put(port, MIDILIB_TIME_NOW, 0xC0, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double before = cpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double used = cpuSeconds() - before;
    CloseMidiOut(port);
    std::printf("idle CPU with device 0 open, no audio driver: %.3f s of CPU in %.0f s = %.2f %% "
                "of a core\n",
                used, seconds, used / seconds * 100);
}

// Starts `jackd` (dummy driver, 48 kHz, `period` frames) as `name`; its
// process id once a client can connect, or -1.
pid_t startServer(const std::string& name, int period, const std::string& log) {
    const std::string periodText = std::to_string(period);
    const std::string rateText = std::to_string(sampleRate);
    const char* argv[] = {"jackd",          "-n", name.c_str(),       "-d",   "dummy", "-r",
                          rateText.c_str(), "-p", periodText.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int failed =
        posix_spawnp(&pid, "jackd", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    const auto start = SteadyClock::now();
    while (millisSince(start) < 10000) {
        jack_status_t status{};
        jack_client_t* probe = jack_client_open("tonyx-bench probe",
                                                jack_options_t(JackNoStartServer | JackServerName),
                                                &status, name.c_str());
        if (probe) {
            jack_client_close(probe);
            return pid;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return -1;
}

// Runs this program's server part in a child whose JACK_DEFAULT_SERVER is
// `name`: each server gets a fresh library, whose JACK clients belong to it.
int runOnServer(const std::string& name, int notes) {
    const std::string self = "/proc/self/exe";
    const std::string notesText = std::to_string(notes);
    const char* argv[] = {"bench_midiout", "--on-server", notesText.c_str(), nullptr};
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    std::fflush(stdout);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, self.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ);
    unsetenv("JACK_DEFAULT_SERVER");
    if (failed)
        return 1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--on-server") == 0)
        return onServer(std::atoi(argv[2]));
    const int notes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
    jack_set_error_function(jackSilent);
    jack_set_info_function(jackSilent);
    std::printf("load average (1, 5, 15 min) at the start: %s\n", loadAverage().c_str());
    std::printf("library's own audio setting for device 0 (computed): %d frames x %d periods / "
                "%d Hz = %.2f ms; a JACK server plays at its own period instead\n",
                libraryPeriod, libraryPeriods, sampleRate,
                1000.0 * libraryPeriod * libraryPeriods / sampleRate);
    int failures = 0;
    for (const int period : {256, 1024}) {
        const std::string name =
            "tonyx-bench-" + std::to_string(period) + "-" + std::to_string(getpid());
        const std::string log = "/tmp/" + name + ".log";
        std::printf("JACK server %s (jackd -d dummy -r %d -p %d), load average %s:\n", name.c_str(),
                    sampleRate, period, loadAverage().c_str());
        const pid_t server = startServer(name, period, log);
        if (server < 0) {
            std::printf("  jackd did not start (see %s)\n", log.c_str());
            ++failures;
            continue;
        }
        failures += runOnServer(name, notes) != 0;
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        std::remove(log.c_str());
    }
    std::printf("without a server, load average %s:\n", loadAverage().c_str());
    renderSpeed();
    idleCpuOffline(5.0);
    std::printf("load average at the end: %s\n", loadAverage().c_str());
    return failures ? 1 : 0;
}
