#include "app/soundcheck.h"

#include <unistd.h>

std::string SoundNotice::text() const {
    return what + " " + why + " " + todo;
}

SoundCheck::SoundCheck(std::function<bool()> soundFontFound)
    : soundFontFound_(std::move(soundFontFound)) {}

bool SoundCheck::installedSoundFontFound() {
    // The synthesizer looks in the same two places.
    for (const char* path :
         {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2"})
        if (access(path, R_OK) == 0)
            return true;
    return false;
}

std::string SoundCheck::deviceName(int device) const {
    if (device >= 0 && device < static_cast<int>(names_.size()) && !names_[device].empty())
        return names_[device];
    return device == 0 ? "the built-in synthesizer" : "device " + std::to_string(device);
}

std::optional<SoundNotice> SoundCheck::deviceOpened(int device, bool opened) {
    if (!opened) {
        // The port was closed before the open: nothing is open now.
        open_ = -1;
        return failed(device, SoundFailure::OpenRefused);
    }
    open_ = device;
    failed_.erase(device);
    return std::nullopt;
}

std::optional<SoundNotice> SoundCheck::notesRefused() {
    if (open_ < 0)
        return std::nullopt;
    return failed(open_, SoundFailure::NotesRefused);
}

void SoundCheck::notesTaken() {
    if (open_ >= 0)
        failed_.erase(open_);
}

std::optional<SoundNotice> SoundCheck::failed(int device, SoundFailure failure) {
    failed_.insert(device);
    if (noticeGiven_)
        return std::nullopt;
    noticeGiven_ = true;
    return noticeFor(device, failure);
}

DeviceMark SoundCheck::mark(int device) const {
    if (failed_.count(device))
        return DeviceMark::Failed;
    return device == open_ ? DeviceMark::Sounding : DeviceMark::None;
}

std::string SoundCheck::accessibleName(int device) const {
    const std::string name = deviceName(device);
    switch (mark(device)) {
    case DeviceMark::Sounding:
        return name + ", open and sounding";
    case DeviceMark::Failed:
        return name + ", failed: no sound";
    case DeviceMark::None:
        break;
    }
    return name;
}

SoundNotice SoundCheck::noticeFor(int device, SoundFailure failure) const {
    if (device == 0) {
        if (!soundFontFound_ || !soundFontFound_())
            return {"No sound: the built-in synthesizer cannot play.",
                    "No General MIDI soundfont is installed.",
                    "Install one (for example the timgm6mb-soundfont package), or choose a MIDI "
                    "port in the device list."};
        return {"No sound: the built-in synthesizer found no audio output.",
                "Most likely no sound server is running.",
                "Start PulseAudio, PipeWire or JACK, then choose the synthesizer again in the "
                "device list; or choose a MIDI port there."};
    }
    const std::string port = "\u201c" + deviceName(device) + "\u201d";
    if (failure == SoundFailure::OpenRefused)
        return {"No sound: the MIDI port " + port + " did not open.",
                "The port is gone, or the program or device behind it is not running.",
                "Start it and choose the port again, or choose another device in the list."};
    return {"No sound: the MIDI port " + port + " stopped taking notes.",
            "The port is gone: the program or device behind it was closed.",
            "Start it again and choose the port in the device list, or choose another device."};
}

std::string SoundCheck::testToneResult(bool open, bool took) const {
    if (!open)
        return "Test tone: no device is open, so nothing sounded. Choose a device in the list.";
    const std::string name = deviceName(open_);
    if (took)
        return "Test tone: " + name +
               " took the chord. If you heard nothing, check the volume "
               "and where the device's sound goes.";
    return "Test tone: " + name + " refused the chord. " +
           noticeFor(open_, SoundFailure::NotesRefused).why + " " +
           noticeFor(open_, SoundFailure::NotesRefused).todo;
}
