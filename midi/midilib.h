#pragma once

// The program's MIDI layer: the binding to the MidiLib32 library and the
// components that reach the library through it (output port, input port,
// clock, Standard MIDI File, track and playback feed).
//
// Everything here runs on the GUI thread. The library reports to the
// components through MIDILIBWINDOW targets ("hidden windows"); it may post
// from any thread, and the message is handled later on the thread that
// created the component, when its event loop runs.
//
// Ownership: a component never owns its TMidiLib; whoever assigns MidiLib
// keeps the binding alive for the component's lifetime. A file owns its
// tracks (until takeTracks), a track owns its event block, a feed owns its
// cursors and chunks but not the tracks it plays.

#include "core/exception.h"

#include <midilib32.h>

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMidiLibSync;
class TMidiLibSMF;
class TMidiLibTrack;
class TMidiLibFeed;

// Every failure of the MIDI layer; a message text only.
class EMidiLibException : public Exception {
public:
    explicit EMidiLibException(const std::string& message) : Exception(message) {}
};

// How the binding reaches the platform's loader. The default asks dlopen,
// dlsym and dlclose; a test may put its own in front to watch the lookups.
class MidiLibLoader {
public:
    virtual ~MidiLibLoader() = default;
    // Loads the shared library file `fileName` ("libMidiLib32.so"); null on failure.
    virtual void* load(const std::string& fileName) = 0;
    // The address of `symbol` in `module`, or null.
    virtual void* lookup(void* module, const char* symbol) = 0;
    // Releases `module`; false when the platform reports a failure.
    virtual bool release(void* module) = 0;
    // The dlopen-based loader the program uses.
    static MidiLibLoader& system();
    // The file a library name stands for: "MidiLib32" is "libMidiLib32.so".
    static std::string fileNameOf(const std::string& libraryName);
};

// The binding: loads the library named `libraryName` (mapped to
// lib<name>.so) at construction and binds its 35 entry points in table
// order. Construction either completes with every callable set or throws
// EMidiLibException with nothing left loaded. Released at destruction.
class TMidiLib : public QObject {
    Q_OBJECT
public:
    explicit TMidiLib(QObject* owner = nullptr, const char* libraryName = "MidiLib32");
    // As above with the loader given; `loader` must outlive the binding.
    TMidiLib(QObject* owner, const char* libraryName, MidiLibLoader& loader);
    ~TMidiLib() override;
    TMidiLib(const TMidiLib&) = delete;
    TMidiLib& operator=(const TMidiLib&) = delete;

    // The library's version, low 16 bits.
    [[nodiscard]] uint16_t version() const { return version_; }

    // One callable per entry point, in table order, named after it
    // (MidiLib->PutMidiOut(port, &event)). Callers go through these each time.
#define TONYX_MIDILIB_CALLABLE(name, bytes) decltype(&::name) name = nullptr;
    MIDILIB32_ENTRY_POINTS(TONYX_MIDILIB_CALLABLE)
#undef TONYX_MIDILIB_CALLABLE

    // The decorated name as exported ("_PauseSync$8") and as shown to the
    // user ("_PauseSync@8") of entry point `row` (1..35); empty beyond.
    [[nodiscard]] static std::string exportedName(int row);
    // The decorated name of the entry point called `entryPoint`
    // ("GetMidiOutDescription" gives "_GetMidiOutDescription$8"); empty for
    // a name not in the table.
    [[nodiscard]] static std::string exportedName(std::string_view entryPoint);
    [[nodiscard]] static std::string displayName(int row);
    static constexpr int entryPointCount = 35;

private:
    void bind(const char* libraryName);

    MidiLibLoader* loader_;
    void* module_ = nullptr;
    uint16_t version_ = 0;
};

// A notification target handed to the library. The library may call its
// post function from any thread; the message is queued to this object's
// thread and handed to `handler` there. Messages still queued when the
// window is destroyed are dropped with it.
class MidiLibWindow : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(uint32_t message, uint32_t wparam, uintptr_t lparam)>;
    explicit MidiLibWindow(Handler handler, QObject* parent = nullptr);
    // What the library is given (OpenMidiOut, OpenMidiIn, OpenSync).
    [[nodiscard]] HMIDILIBWINDOW handle() { return &target_; }

private:
    static void post(void* context, uint32_t message, uint32_t wparam, uintptr_t lparam);
    Handler handler_;
    MIDILIBWINDOW target_{};
};

// An event handler taking the component that raised it.
using TNotifyEvent = std::function<void(QObject* Sender)>;

// One output device of the library. Open/Close/Reset throw on misuse;
// a device that refuses to open shows as a false result; Put on a closed
// port quietly takes the event.
class TMidiLibOut : public QObject {
    Q_OBJECT
public:
    explicit TMidiLibOut(QObject* owner = nullptr);
    ~TMidiLibOut() override;

    TMidiLib* MidiLib = nullptr;  // the binding; not owned
    TMidiLibSync* Sync = nullptr; // optional clock whose handle goes to OpenMidiOut; not owned
    TMidiLibFeed* Feed = nullptr; // optional playback feed served on buffer ready; not owned
    TNotifyEvent OutBufferReady;  // called when the library reports room in its buffer

    // Opens output device `device` with `flags` (handed on unchanged).
    // Throws "No MidiLib" without a binding, "already open" when open.
    bool Open(uint16_t device, uint32_t flags);
    // Silences the device, then closes it. Throws "midiOut not open".
    void Close();
    // Silences every note of the device. Throws "midiOut not open".
    void Reset();
    // Sends one event; true when the library took it (or the port is closed).
    bool Put(LPMIDIEVENT event);

    [[nodiscard]] bool isOpen() const { return open_; }
    [[nodiscard]] uint32_t handle() const { return handle_; }
    [[nodiscard]] uint32_t flags() const { return flags_; }
    [[nodiscard]] uint16_t deviceIndex() const { return device_; }
    [[nodiscard]] const std::string& description() const { return description_; }
    [[nodiscard]] HMIDILIBWINDOW window() { return window_->handle(); }

private:
    void notify(uint32_t message);

    uint32_t handle_ = 0;
    uint32_t flags_ = 0;
    uint16_t device_ = 0;
    bool open_ = false;
    std::string description_;
    MidiLibWindow* window_;
};

// A growable list of events, one per track of a file or one recording
// buffer. Each event's time is the time since the previous event. The
// block is zero-filled heap memory that only grows, by 8192 events at a
// time, and is freed with the track.
class TMidiLibTrack {
public:
    static constexpr uint32_t growth = 8192;

    // `file` is the file the track belongs to (for its name), or null.
    explicit TMidiLibTrack(TMidiLibSMF* file = nullptr) : file_(file) {}
    ~TMidiLibTrack();
    TMidiLibTrack(const TMidiLibTrack&) = delete;
    TMidiLibTrack& operator=(const TMidiLibTrack&) = delete;

    // Stores `event` at `index`, shifting the later ones up; -1 appends.
    // An index beyond the end appends as well.
    void append(const MIDIEVENT& event, int64_t index = -1);
    // The track's name: read once from its file's meta event 3 when the
    // file is open for reading, empty otherwise.
    const std::string& name();
    void setName(std::string name) { name_ = std::move(name); }

    [[nodiscard]] MIDIEVENT* events() { return events_; }
    [[nodiscard]] const MIDIEVENT* events() const { return events_; }
    [[nodiscard]] uint32_t capacity() const { return capacity_; }
    [[nodiscard]] uint32_t count() const { return count_; }
    [[nodiscard]] TMidiLibSMF* file() const { return file_; }

    uint32_t position = 0;  // index of the next event to play
    bool recording = false; // received input is appended; left out of playback
    bool muted = false;     // left out of playback

private:
    friend class TMidiLibSMF;
    // Grows the block to `capacity` events, zero-filling the new room.
    void reserve(uint32_t capacity);

    TMidiLibSMF* file_;
    MIDIEVENT* events_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
    std::string name_;
};

// Merges tracks in time order and feeds their events to an output port
// whenever the library reports room. Attach it with `port.Feed = &feed`,
// add the tracks in playing order, then call Send(port) once to start;
// the port's buffer-ready messages keep it going. Times sent are the
// tracks' own units (see the library's scheduling of PutMidiOut).
class TMidiLibFeed {
public:
    static constexpr uint32_t batchSize = 512;

    TMidiLibFeed() = default;
    ~TMidiLibFeed();
    TMidiLibFeed(const TMidiLibFeed&) = delete;
    TMidiLibFeed& operator=(const TMidiLibFeed&) = delete;

    // Adds a cursor for `track` (not owned; it must outlive the feed or be
    // removed with clear()). List order decides between equal times.
    void addTrack(TMidiLibTrack* track);
    // Adds every track of `file`, in file order.
    void addTracks(TMidiLibSMF& file);
    // Drops every cursor and the pending batch; tracks keep their positions.
    void clear();
    [[nodiscard]] size_t cursorCount() const { return cursors_.size(); }

    // Hands merged events to `port` until it refuses one or every track is
    // exhausted. The port calls this on each buffer-ready message.
    void Send(TMidiLibOut& port);

private:
    struct Cursor {
        TMidiLibTrack* track;
        MIDIEVENT* chunk = nullptr; // absolute times from the start of the track
        uint32_t length = 0;
        uint32_t next = 0;
        bool inExclusive = false;
        // The absolute time at `knownPosition`, so each refill starts from
        // where the last one ended instead of summing from the start.
        uint32_t knownPosition = 0;
        uint32_t knownTime = 0;
    };
    void refill();

    std::vector<Cursor> cursors_;
    MIDIEVENT* merged_ = nullptr;
    uint32_t mergedCount_ = 0;
    uint32_t next_ = 0;
    uint32_t lastTime_ = 0;
};

// One MIDI input device. Received events reach OnMidiData and, when
// accepted, the recording track. Active sensing (0xFE) is dropped; the time
// of dropped events is carried into the next delivered one.
class TMidiLibIn : public QObject {
    Q_OBJECT
public:
    using MidiDataEvent = std::function<void(LPMIDIEVENT Event, bool* pbAccept)>;

    explicit TMidiLibIn(QObject* owner = nullptr);
    ~TMidiLibIn() override;

    TMidiLib* MidiLib = nullptr;  // the binding; not owned
    TMidiLibSync* Sync = nullptr; // optional clock whose handle goes to OpenMidiIn; not owned
    MidiDataEvent OnMidiData;     // may clear *pbAccept to drop the event

    // Opens input device `device` with `flags`; false when the library
    // refuses. Throws "No MidiLib" without a binding, "already open" when open.
    bool Open(uint16_t device, uint32_t flags = 0);
    // Starts delivery of received events. Throws "midiIn not open".
    void Start();
    // Stops delivery. Throws "midiIn not open".
    void Stop();
    // Stops and closes. Throws "midiIn not open".
    void Close();

    // Attaches `track` (not owned) as the recording track and turns its
    // recording switch on; null detaches.
    void setRecordingTrack(TMidiLibTrack* track);
    [[nodiscard]] TMidiLibTrack* recordingTrack() const { return recording_; }

    [[nodiscard]] bool isOpen() const { return open_; }
    [[nodiscard]] bool isStarted() const { return started_; }
    [[nodiscard]] uint32_t handle() const { return handle_; }
    [[nodiscard]] const std::string& description() const { return description_; }
    [[nodiscard]] uint32_t carriedTime() const { return carried_; }
    [[nodiscard]] HMIDILIBWINDOW window() { return window_->handle(); }

private:
    void notify(uint32_t message);
    void receive();

    uint32_t handle_ = 0;
    bool open_ = false;
    std::string description_;
    bool started_ = false;
    uint32_t carried_ = 0;
    TMidiLibTrack* recording_ = nullptr;
    MidiLibWindow* window_;
};

// A MIDI clock. Its handle goes to OpenMidiOut / OpenMidiIn of the ports
// that name it in their Sync property, so they schedule by its ticks.
// Tempo is in microseconds per quarter note, resolution in ticks per
// quarter note (as in a MIDI file).
class TMidiLibSync : public QObject {
    Q_OBJECT
public:
    explicit TMidiLibSync(QObject* owner = nullptr);
    ~TMidiLibSync() override;

    TNotifyEvent OnMidiBeat; // each beat the library reports
    TNotifyEvent OnSyncDone; // the library reports the clock done
    TMidiLib* MidiLib = nullptr;

    // Opens a clock with `tempo` and `resolution`; false when the library
    // refuses. Throws "No MidiLib" without a binding, "already open" when open.
    bool Open(uint32_t tempo = 500000, uint32_t resolution = 96, uint32_t flags = 0);
    // Throws "sync not open".
    void Close();
    // Stops the clock; does nothing when closed.
    void Stop();
    // Starts counting from tick 0. Throws "sync not open".
    void Start();
    // Holds (true) or resumes (false) the clock where it stands. Throws "sync not open".
    void Pause(bool pause);
    // Resumes a stopped or paused clock from where it stood. Throws "sync not open".
    void Restart();
    // Tempo and resolution, each throwing "sync not open" when closed.
    void setTempo(uint32_t tempo);
    void setResolution(uint32_t resolution);
    [[nodiscard]] uint32_t tempo() const;
    [[nodiscard]] uint32_t resolution() const;
    // Ticks since Start. Throws "sync not open".
    [[nodiscard]] uint32_t position() const;

    [[nodiscard]] bool isOpen() const { return open_; }
    [[nodiscard]] bool isRunning() const { return running_; }
    [[nodiscard]] uint32_t handle() const { return handle_; }
    [[nodiscard]] HMIDILIBWINDOW window() { return window_->handle(); }

private:
    void notify(uint32_t message);
    void requireOpen() const;

    MidiLibWindow* window_;
    uint32_t handle_ = 0;
    bool open_ = false;
    bool running_ = false;
};

// A Standard MIDI File open for reading ('r') or writing ('w'). Opening
// creates one empty track per track of the file, owned by the file and
// freed at Close (or handed over with takeTracks).
class TMidiLibSMF : public QObject {
    Q_OBJECT
public:
    using TrackList = std::vector<std::unique_ptr<TMidiLibTrack>>;
    static constexpr uint32_t readBatch = 8192;

    explicit TMidiLibSMF(QObject* owner = nullptr);
    ~TMidiLibSMF() override;

    TMidiLib* MidiLib = nullptr;

    // Opens `path` for reading; the track list gets one track per track
    // of the file. False when the library refuses. Throws "No MidiLib",
    // "already open".
    bool OpenRead(const std::string& path);
    // Creates `path` for writing in `format` (0 or 1) with `tracks` tracks.
    bool OpenWrite(const std::string& path, uint32_t format, uint32_t tracks);
    // Closes the file (a written file is completed by the library) and
    // frees the track list. Throws "SMF not open".
    void Close();
    // Back to the start of every track. Throws "SMF not open".
    void Rewind();
    // Ticks per quarter note. Throw "SMF not open".
    [[nodiscard]] uint32_t resolution() const;
    void setResolution(uint32_t resolution);

    // Reads the whole of `track` in batches of 8192 events; true when at
    // least one event was read.
    virtual bool ReadTrack(TMidiLibTrack* track);
    // Writes `track` from its position to its end, its name first; true
    // when every event was written.
    virtual bool WriteTrack(TMidiLibTrack* track);
    // Copies the data of the track's meta event `type` into `data`; the
    // library's result, -1 when there is none.
    int32_t ReadMetaEvent(TMidiLibTrack* track, uint8_t type, std::vector<uint8_t>& data);
    // True when the library wrote the meta event.
    bool WriteMetaEvent(TMidiLibTrack* track, uint8_t type, const uint8_t* data, uint32_t length);

    [[nodiscard]] bool isOpen() const { return open_; }
    [[nodiscard]] char mode() const { return mode_; }
    [[nodiscard]] uint32_t handle() const { return handle_; }
    // The track list, null when none.
    [[nodiscard]] const TrackList* tracks() const { return tracks_.get(); }
    [[nodiscard]] TMidiLibTrack* track(size_t index) const;
    [[nodiscard]] size_t trackCount() const { return tracks_ ? tracks_->size() : 0; }
    // Hands the tracks to the caller (they forget the file); the file keeps
    // no track list afterwards, so it can no longer read or write tracks.
    TrackList takeTracks();

private:
    bool open(const std::string& path, char mode, uint32_t format, uint32_t tracks);
    // The track's index in the list, or -1.
    [[nodiscard]] int64_t indexOf(const TMidiLibTrack* track) const;

    uint32_t handle_ = 0;
    bool open_ = false;
    char mode_ = 0;
    std::unique_ptr<TrackList> tracks_;
};
