#include "app/warmup.h"

#include "midi/midilib.h"

#include <dlfcn.h>
#include <fontconfig/fontconfig.h>

#include <filesystem>

StartupWarmUp::StartupWarmUp(std::string midiLibrary) : midiLibrary_(std::move(midiLibrary)) {
    thread_ = std::thread([this] { run(); });
}

StartupWarmUp::~StartupWarmUp() {
    release();
}

void StartupWarmUp::release() {
    wait();
    if (module_)
        MidiLibLoader::system().release(module_);
    module_ = nullptr;
    for (void* plugin : plugins_)
        dlclose(plugin);
    plugins_.clear();
}

void StartupWarmUp::wait() {
    if (thread_.joinable())
        thread_.join();
}

std::string StartupWarmUp::imageFormatFolder() {
    return TONYX_QT_PLUGINS "/imageformats";
}

void StartupWarmUp::run() {
    // The library first: the main window needs it as soon as it is made,
    // and its own start (listing ports, opening the synthesizer) runs on
    // threads of its own from there.
    if (!midiLibrary_.empty())
        // The binding's own loader, so both find the same file the same way.
        module_ = MidiLibLoader::system().load(MidiLibLoader::fileNameOf(midiLibrary_));
    // Asking for device 0's name has the library start listing the system's
    // MIDI ports on a thread of its own. Reaching a JACK server for its list
    // takes some 20 ms, which the main window would otherwise wait out
    // while filling its device list; started here, it runs while the
    // toolkit connects to the display.
    if (module_) {
        using Describe = uint32_t (*)(uint32_t, char*);
        const std::string name = TMidiLib::exportedName("GetMidiOutDescription");
        if (auto describe =
                reinterpret_cast<Describe>(MidiLibLoader::system().lookup(module_, name.c_str()))) {
            char description[MIDILIB_NAME_SIZE];
            listingStarted_ = describe(0, description) != 0;
        }
    }
    // Reading the font configuration and its caches is the largest part of
    // the first font lookup; the toolkit's own lookup then finds it done.
    FcInit();
    // The menu bar's first icon makes the toolkit load every image-format
    // plugin to probe the file; loaded here, they are found loaded there.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(imageFormatFolder(), error)) {
        if (entry.path().extension() == ".so")
            if (void* plugin = dlopen(entry.path().c_str(), RTLD_LAZY | RTLD_LOCAL))
                plugins_.push_back(plugin);
    }
}
