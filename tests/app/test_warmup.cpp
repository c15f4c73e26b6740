// The start-up warm-up: the MIDI library it loads is the one the main
// window binds to, its hold on the
// library ends with it, a library it cannot load is still the main
// window's to report, and the toolkit's image-format plugins it loads are
// the installed ones.

#include "app/warmup.h"
#include "midi/midilib.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// Whether the program has this library loaded (without loading it).
bool loaded(const char* file) {
    void* handle = dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

} // namespace

TEST(StartupWarmUp, LoadsTheLibraryTheMainWindowBindsToAndLetsGoOfIt) {
    constexpr const char* file = "libStandInMidi.so";
    ASSERT_FALSE(loaded(file)) << "the test must not link the stand-in";

    std::unique_ptr<TMidiLib> binding;
    {
        StartupWarmUp warmUp("StandInMidi");
        warmUp.wait();
        EXPECT_TRUE(warmUp.libraryLoaded());
        EXPECT_TRUE(loaded(file));
        // The main window binds while the warm-up still holds the library.
        binding = std::make_unique<TMidiLib>(nullptr, "StandInMidi");
    }
    // The warm-up is gone; the binding's copy is still there and answers.
    ASSERT_TRUE(loaded(file));
    char name[MIDILIB_NAME_SIZE] = {};
    binding->GetMidiOutDescription(0, name);
    binding.reset();
    // Nothing of the warm-up keeps the library in memory afterwards.
    EXPECT_FALSE(loaded(file));
}

TEST(StartupWarmUp, EndsCleanlyWhetherOrNotItWasWaitedFor) {
    { StartupWarmUp warmUp("StandInMidi"); }
    EXPECT_FALSE(loaded("libStandInMidi.so"));
    {
        StartupWarmUp warmUp("StandInMidi");
        warmUp.release();
        EXPECT_FALSE(warmUp.libraryLoaded());
        EXPECT_EQ(warmUp.pluginsLoaded(), 0u);
        EXPECT_FALSE(loaded("libStandInMidi.so"));
        warmUp.release();
    }
    StartupWarmUp none("");
    none.wait();
    none.wait();
    EXPECT_FALSE(none.libraryLoaded());
}

TEST(StartupWarmUp, LeavesAMissingLibraryToTheMainWindowToReport) {
    StartupWarmUp warmUp("NoSuchMidiLibrary");
    warmUp.wait();
    EXPECT_FALSE(warmUp.libraryLoaded());
    try {
        TMidiLib binding(nullptr, "NoSuchMidiLibrary");
        FAIL() << "a missing library must not bind";
    } catch (const EMidiLibException& e) {
        EXPECT_EQ(e.message(), "Load of NoSuchMidiLibrary.dll failed");
    }
}

TEST(StartupWarmUp, LoadsTheToolkitsImageFormatPlugins) {
    std::vector<std::string> plugins;
    for (const auto& entry :
         std::filesystem::directory_iterator(StartupWarmUp::imageFormatFolder()))
        if (entry.path().extension() == ".so")
            plugins.push_back(entry.path().string());
    ASSERT_FALSE(plugins.empty()) << StartupWarmUp::imageFormatFolder();
    for (const std::string& plugin : plugins)
        ASSERT_FALSE(loaded(plugin.c_str())) << plugin;

    {
        StartupWarmUp warmUp("");
        warmUp.wait();
        EXPECT_EQ(warmUp.pluginsLoaded(), plugins.size());
        for (const std::string& plugin : plugins)
            EXPECT_TRUE(loaded(plugin.c_str())) << plugin;
    }
    for (const std::string& plugin : plugins)
        EXPECT_FALSE(loaded(plugin.c_str())) << plugin << " is still held";
}
