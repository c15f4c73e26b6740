// What the library leaves of the program around it: the handlers and log
// functions the program installed in the sound libraries, and a symbol
// table with nothing but the C entry points. Runs in a process of its own,
// so the program's handlers are in place before the library's first call.
#include "midilib32.h"
#include "midilib32_render.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fluidsynth.h>
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <string>

namespace {

std::atomic<int> jackErrors{0};
std::atomic<int> fluidErrors{0};

void hostAlsaHandler(const char*, int, const char*, int, const char*, ...) {}
void hostJackError(const char*) {
    ++jackErrors;
}
void hostJackInfo(const char*) {}
void hostFluidLog(int, const char*, void*) {
    ++fluidErrors;
}

TEST(HostProcess, HandlersTheProgramInstalledStayInPlace) {
    snd_lib_error_set_handler(hostAlsaHandler);
    jack_set_error_function(hostJackError);
    jack_set_info_function(hostJackInfo);
    fluid_set_log_function(FLUID_ERR, hostFluidLog, nullptr);

    // Everything that reaches the sound libraries: device lists, the
    // synthesizer (online when an output is there, and offline), inputs.
    GetMidiLibVersion();
    const uint32_t outputs = GetNumOutDevices();
    EXPECT_GE(outputs, 1u);
    GetNumInDevices();
    const uint32_t offline = OpenMidiOut(nullptr, 0, 0, MIDILIB_OUT_OFFLINE);
    ASSERT_GT(offline, 32u);
    float left[64], right[64];
    EXPECT_EQ(RenderMidiOut(offline, left, right, 64), 64u);
    EXPECT_EQ(CloseMidiOut(offline), 0u);
    const uint32_t online = OpenMidiOut(nullptr, 0, 0, 0);
    if (online > 32) {
        EXPECT_EQ(CloseMidiOut(online), 0u);
    }

    EXPECT_EQ(snd_lib_error, &hostAlsaHandler);
    EXPECT_EQ(jack_error_callback, &hostJackError);
    EXPECT_EQ(jack_info_callback, &hostJackInfo);
    EXPECT_EQ(fluid_set_log_function(FLUID_ERR, hostFluidLog, nullptr), &hostFluidLog);
    // And they are still called: a server that is not there is an error.
    jack_status_t status{};
    const int before = jackErrors;
    jack_client_t* client =
        jack_client_open("tonyxhost", jack_options_t(JackNoStartServer | JackServerName), &status,
                         "tonyx-no-such-server");
    EXPECT_EQ(client, nullptr);
    EXPECT_GT(jackErrors, before);
}

TEST(HostProcess, OnlyTheEntryPointsAreExported) {
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&GetMidiLibVersion), &info), 0);
    const std::string command = std::string("nm -D --defined-only '") + info.dli_fname + "'";
    FILE* nm = popen(command.c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> exported;
    char line[4096];
    while (std::fgets(line, sizeof line, nm)) {
        char address[64], type[8], name[4000];
        if (std::sscanf(line, "%63s %7s %3999s", address, type, name) == 3)
            exported.insert(name);
    }
    ASSERT_EQ(pclose(nm), 0) << command;
    std::set<std::string> expected{"_RenderMidiOut$16"};
#define MIDILIB32_TEST_NAME(name, bytes) expected.insert("_" #name "$" #bytes);
    MIDILIB32_ENTRY_POINTS(MIDILIB32_TEST_NAME)
#undef MIDILIB32_TEST_NAME
    EXPECT_EQ(exported, expected);
}

} // namespace
