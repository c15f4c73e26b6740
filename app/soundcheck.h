#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

// What the user is told when the chosen output device cannot sound: what
// failed, the likely reason in plain words, and what to do about it.
struct SoundNotice {
    std::string what;
    std::string why;
    std::string todo;
    // The three parts as one paragraph.
    [[nodiscard]] std::string text() const;
};

// How a device let the user down.
enum class SoundFailure {
    OpenRefused,  // the library would not open it
    NotesRefused, // it opened, then refused the notes sent to it
};

// How a line of the device list is marked.
enum class DeviceMark { None, Sounding, Failed };

// Keeps track of which output device sounds and which failed, and decides
// when the user hears about a failure: once per run, the first time a
// chosen device cannot sound. Device 0 is the built-in synthesizer; the
// others are MIDI ports. No widgets: the main window shows what it says.
class SoundCheck {
public:
    // `soundFontFound` tells whether the synthesizer has a soundfont to
    // play (asked only when device 0 fails); the default looks on disk.
    explicit SoundCheck(std::function<bool()> soundFontFound = installedSoundFontFound);

    void setDeviceNames(std::vector<std::string> names) { names_ = std::move(names); }
    [[nodiscard]] std::string deviceName(int device) const;

    // The port tried to open `device`; `opened` is the library's answer.
    // Returns the notice to show when this is the run's first failure.
    std::optional<SoundNotice> deviceOpened(int device, bool opened);
    // The open device refused a note.
    std::optional<SoundNotice> notesRefused();
    // The open device took a note after all (a test tone): it sounds.
    void notesTaken();

    [[nodiscard]] DeviceMark mark(int device) const;
    // The line's name for assistive technology: the device name and its mark.
    [[nodiscard]] std::string accessibleName(int device) const;
    // The device whose port is open and takes notes, or -1.
    [[nodiscard]] int soundingDevice() const { return failed_.count(open_) ? -1 : open_; }
    [[nodiscard]] int openDevice() const { return open_; }
    [[nodiscard]] bool noticeGiven() const { return noticeGiven_; }

    // The notice for `device` failing in the way given.
    [[nodiscard]] SoundNotice noticeFor(int device, SoundFailure failure) const;

    // The test tone: a C major chord on the drill's channel.
    static constexpr int kTestChord[3] = {60, 64, 67};
    static constexpr int kTestToneMs = 700;
    // What the test tone tells the user: whether the open device took the
    // chord (`open` false: no device is open).
    [[nodiscard]] std::string testToneResult(bool open, bool took) const;

    // Whether a General MIDI soundfont the synthesizer reads is installed.
    [[nodiscard]] static bool installedSoundFontFound();

private:
    std::optional<SoundNotice> failed(int device, SoundFailure failure);

    std::function<bool()> soundFontFound_;
    std::vector<std::string> names_;
    int open_ = -1;
    std::set<int> failed_;
    bool noticeGiven_ = false;
};
