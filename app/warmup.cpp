#include "app/warmup.h"

#include <dlfcn.h>
#include <fontconfig/fontconfig.h>

#include <filesystem>

namespace {

// Found as the main window's binding finds it: through the program's
// RUNPATH, else beside the program (an interposed dlopen, a sanitizer's,
// searches from its own library instead).
void* loadLibrary(const std::string& file) {
    if (void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL))
        return module;
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return nullptr;
    return dlopen((program.parent_path() / file).c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

StartupWarmUp::StartupWarmUp(std::string midiLibrary) : midiLibrary_(std::move(midiLibrary)) {
    thread_ = std::thread([this] { run(); });
}

StartupWarmUp::~StartupWarmUp() {
    release();
}

void StartupWarmUp::release() {
    wait();
    if (module_)
        dlclose(module_);
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
        module_ = loadLibrary("lib" + midiLibrary_ + ".so");
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
