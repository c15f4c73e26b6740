#pragma once

#include <string>
#include <thread>
#include <vector>

// Start-up work that needs no window, done on a second thread while the
// toolkit connects to the display: the MIDI library is loaded (no entry
// point is called), and the font configuration and the
// toolkit's image-format plugins are loaded, so that the main window finds
// them ready. The main window still loads the library itself (the loader
// hands it the same copy) and reports what goes wrong; nothing here is
// reported.
class StartupWarmUp {
public:
    // midiLibrary is the name the main window is given ("MidiLib32" loads
    // "libMidiLib32.so"); an empty name loads no library.
    explicit StartupWarmUp(std::string midiLibrary);
    // Releases (below).
    ~StartupWarmUp();
    StartupWarmUp(const StartupWarmUp&) = delete;
    StartupWarmUp& operator=(const StartupWarmUp&) = delete;

    // Waits until the work is done.
    void wait();
    // Waits, then gives up its hold on what it loaded: once the main window
    // has bound the library, the library then goes when the window lets go
    // of it. Later calls do nothing.
    void release();
    // After wait(): whether the library could be loaded.
    [[nodiscard]] bool libraryLoaded() const { return module_ != nullptr; }
    // After wait(): how many image-format plugins were loaded.
    [[nodiscard]] size_t pluginsLoaded() const { return plugins_.size(); }

    // The toolkit's image-format plugins, which it loads all at once the
    // first time it reads an image file (the menu bar's first icon).
    [[nodiscard]] static std::string imageFormatFolder();

private:
    void run();

    std::string midiLibrary_;
    void* module_ = nullptr;
    std::vector<void*> plugins_;
    std::thread thread_;
};
