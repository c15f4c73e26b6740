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
    // The library first: the main window needs it as soon as it is made.
    // Only loaded: its entry points are the main window's to call, in its
    // order, and what they start (the synthesizer's engine, the port list)
    // runs on threads of the library's own.
    if (!midiLibrary_.empty())
        // The binding's own loader, so both find the same file the same way.
        module_ = MidiLibLoader::system().load(MidiLibLoader::fileNameOf(midiLibrary_));
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
