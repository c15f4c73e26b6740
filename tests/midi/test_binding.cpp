#include "midi_test_support.h"

#include <dlfcn.h>

namespace {

// Puts itself in front of the platform's loader and notes every request.
class WatchingLoader : public MidiLibLoader {
public:
    void* load(const std::string& fileName) override {
        loads.push_back(fileName);
        return failLoad ? nullptr : MidiLibLoader::system().load(fileName);
    }
    void* lookup(void* module, const char* symbol) override {
        lookups.emplace_back(symbol);
        return MidiLibLoader::system().lookup(module, symbol);
    }
    bool release(void* module) override {
        ++releases;
        const bool released = MidiLibLoader::system().release(module);
        return failRelease ? false : released;
    }
    std::vector<std::string> loads;
    std::vector<std::string> lookups;
    int releases = 0;
    bool failLoad = false;
    bool failRelease = false;
};

bool stillLoaded(const char* file) {
    void* handle = dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

std::vector<std::string> exportedNames(int rows) {
    std::vector<std::string> names;
    for (int row = 1; row <= rows; ++row)
        names.push_back(TMidiLib::exportedName(row));
    return names;
}

} // namespace

TEST(MidiLibBinding, DecoratedNamesFollowTheTableOrder) {
    EXPECT_EQ(TMidiLib::exportedName(1), "_GetMidiLibVersion$0");
    EXPECT_EQ(TMidiLib::displayName(8), "_PutMidiOut@8");
    EXPECT_EQ(TMidiLib::displayName(20), "_PauseSync@8");
    EXPECT_EQ(TMidiLib::displayName(27), "_OpenSMF@16");
    EXPECT_EQ(TMidiLib::displayName(35), "_WriteMetaEvent@20");
    EXPECT_EQ(TMidiLib::exportedName(36), "");
    // By the entry point's name: the first, a middle and the last row.
    EXPECT_EQ(TMidiLib::exportedName("GetMidiLibVersion"), "_GetMidiLibVersion$0");
    EXPECT_EQ(TMidiLib::exportedName("GetMidiOutDescription"), "_GetMidiOutDescription$8");
    EXPECT_EQ(TMidiLib::exportedName("WriteMetaEvent"), "_WriteMetaEvent$20");
    EXPECT_EQ(TMidiLib::exportedName("GetMidiOutDescriptio"), "");
}

TEST(MidiLibBinding, BindsAllEntryPointsInOrderAndReleasesAtDestruction) {
    WatchingLoader loader;
    {
        standin::reset();
        TMidiLib lib(nullptr, "StandInMidi", loader);
        EXPECT_EQ(loader.loads, std::vector<std::string>{"libStandInMidi.so"});
        EXPECT_EQ(loader.lookups, exportedNames(35));
        EXPECT_EQ(standin::callNames(), std::vector<std::string>{"GetMidiLibVersion"});
        // The callables reach the library directly.
        standin::setDeviceNames({"a", "b", "c"});
        EXPECT_EQ(lib.GetNumOutDevices(), 3u);
        EXPECT_EQ(loader.releases, 0);
    }
    EXPECT_EQ(loader.releases, 1);
}

TEST(MidiLibBinding, KeepsTheLowSixteenBitsOfTheVersion) {
    const std::pair<uint32_t, uint16_t> cases[] = {
        {0x0100, 0x0100}, {0xFFFF, 0xFFFF}, {0x12345, 0x2345}, {0xFFFF0000u, 0}};
    for (auto [reported, kept] : cases) {
        standin::reset();
        standin::setVersion(reported);
        TMidiLib lib(nullptr, "StandInMidi");
        EXPECT_EQ(lib.version(), kept) << reported;
    }
}

TEST(MidiLibBinding, AMissingLibraryFailsToLoad) {
    WatchingLoader loader;
    loader.failLoad = true;
    EXPECT_EQ(midiFailure([&] { TMidiLib lib(nullptr, "MidiLib32", loader); }),
              "Load of MidiLib32.dll failed");
    EXPECT_EQ(loader.loads, std::vector<std::string>{"libMidiLib32.so"});
    EXPECT_TRUE(loader.lookups.empty());
    EXPECT_EQ(loader.releases, 0);

    // Through the real loader too, with the name the caller gave.
    EXPECT_EQ(midiFailure([] { TMidiLib lib(nullptr, "NoSuchMidiLibrary"); }),
              "Load of NoSuchMidiLibrary.dll failed");
}

TEST(MidiLibBinding, AMissingEntryPointStopsTheBindingAndReleasesTheLibrary) {
    struct Case {
        const char* library;
        const char* message;
        int rowsLookedUp;
    };
    const Case cases[] = {
        {"StandInMidiNoPauseSync", "Failed to loadproc:_PauseSync@8", 20},
        {"StandInMidiNoOpenSMF", "Failed to loadproc:_OpenSMF@16", 27},
        {"StandInMidiUndecorated", "Failed to loadproc:_GetMidiLibVersion@0", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        WatchingLoader loader;
        EXPECT_EQ(midiFailure([&] { TMidiLib lib(nullptr, c.library, loader); }), c.message);
        EXPECT_EQ(loader.lookups, exportedNames(c.rowsLookedUp));
        EXPECT_EQ(loader.releases, 1);
        const std::string file = "lib" + std::string(c.library) + ".so";
        EXPECT_FALSE(stillLoaded(file.c_str()));
    }
}

TEST(MidiLibBinding, AFailedReleaseIsReportedWithoutThrowing) {
    static std::vector<std::string> warnings;
    warnings.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            warnings.push_back(text.toStdString());
        });
    {
        WatchingLoader loader;
        loader.failRelease = true;
        TMidiLib lib(nullptr, "StandInMidi", loader);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, std::vector<std::string>{"FreeLibrary failed"});
}
