// Releasing the library right after loading it, as a program does that ends
// as soon as it started (a file missing, the window closed at once): the
// device list the library starts on load is still being taken then. The
// release returns at once, and the process ends cleanly with the listing
// thread still running.
#include "midilib32.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

template <typename Function> Function entry(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

} // namespace

TEST(Unload, RightAfterLoadingWhileTheDeviceListIsTaken) {
    void* library = dlopen(TONYX_MIDILIB_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto version = entry<uint32_t (*)()>(library, "_GetMidiLibVersion$0");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), 0x0100u); // starts the listing
    EXPECT_EQ(dlclose(library), 0) << dlerror();

    // Loaded again, it answers as before.
    library = dlopen(TONYX_MIDILIB_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto count = entry<uint32_t (*)()>(library, "_GetNumOutDevices$0");
    ASSERT_NE(count, nullptr);
    EXPECT_GE(count(), 1u) << "device 0, the built-in synthesizer, is always listed";
    EXPECT_EQ(dlclose(library), 0) << dlerror();
}
