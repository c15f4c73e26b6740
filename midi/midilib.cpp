#include "midi/midilib.h"

#include <QMetaObject>
#include <QtGlobal>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// Handles from 0 to 32 mean the library refused to open.
constexpr uint32_t lastFailedHandle = 32;

struct EntryPoint {
    const char* name;
    int bytes;
};

constexpr std::array<EntryPoint, TMidiLib::entryPointCount> entryPoints = {{
#define TONYX_MIDILIB_ROW(name, bytes) {#name, bytes},
    MIDILIB32_ENTRY_POINTS(TONYX_MIDILIB_ROW)
#undef TONYX_MIDILIB_ROW
}};

class DlLoader final : public MidiLibLoader {
public:
    void* load(const std::string& fileName) override {
        if (void* module = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL))
            return module;
        // The program's own folder, as its RUNPATH $ORIGIN names it: an
        // interposed dlopen (a sanitizer's) searches from its own library
        // instead and would miss the library beside the program.
        if (fileName.find('/') != std::string::npos)
            return nullptr;
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        if (error)
            return nullptr;
        const std::string beside = (program.parent_path() / fileName).string();
        return dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    void* lookup(void* module, const char* symbol) override { return dlsym(module, symbol); }
    bool release(void* module) override { return dlclose(module) == 0; }
};

// Zero-filled event blocks that grow in place.
MIDIEVENT* growBlock(MIDIEVENT* block, uint32_t oldCount, uint32_t newCount) {
    auto* grown =
        static_cast<MIDIEVENT*>(std::realloc(block, size_t(newCount) * sizeof(MIDIEVENT)));
    if (!grown)
        throw std::bad_alloc();
    std::memset(grown + oldCount, 0, size_t(newCount - oldCount) * sizeof(MIDIEVENT));
    return grown;
}

std::string nameFromBuffer(const char* buffer, size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

} // namespace

// ---- Loader ---------------------------------------------------------------

MidiLibLoader& MidiLibLoader::system() {
    static DlLoader loader;
    return loader;
}

std::string MidiLibLoader::fileNameOf(const std::string& libraryName) {
    return "lib" + libraryName + ".so";
}

// ---- TMidiLib -------------------------------------------------------------

TMidiLib::TMidiLib(QObject* owner, const char* libraryName)
    : TMidiLib(owner, libraryName, MidiLibLoader::system()) {}

TMidiLib::TMidiLib(QObject* owner, const char* libraryName, MidiLibLoader& loader)
    : QObject(owner), loader_(&loader) {
    bind(libraryName);
    version_ = static_cast<uint16_t>(GetMidiLibVersion() & 0xFFFFu);
}

std::string TMidiLib::exportedName(int row) {
    if (row < 1 || row > entryPointCount)
        return {};
    const EntryPoint& e = entryPoints[size_t(row - 1)];
    return "_" + std::string(e.name) + "$" + std::to_string(e.bytes);
}

std::string TMidiLib::exportedName(std::string_view entryPoint) {
    for (size_t i = 0; i < entryPoints.size(); ++i)
        if (entryPoint == entryPoints[i].name)
            return exportedName(int(i) + 1);
    return {};
}

std::string TMidiLib::displayName(int row) {
    std::string name = exportedName(row);
    std::replace(name.begin(), name.end(), '$', '@');
    return name;
}

void TMidiLib::bind(const char* libraryName) {
    const std::string name = libraryName ? libraryName : "";
    module_ = loader_->load(MidiLibLoader::fileNameOf(name));
    if (!module_)
        throw EMidiLibException("Load of " + name + ".dll failed");

    // The rows in table order; the first missing one ends the binding.
    std::array<void*, entryPointCount> callables = {{
#define TONYX_MIDILIB_ADDRESS(name, bytes) static_cast<void*>(&this->name),
        MIDILIB32_ENTRY_POINTS(TONYX_MIDILIB_ADDRESS)
#undef TONYX_MIDILIB_ADDRESS
    }};
    try {
        for (int row = 1; row <= entryPointCount; ++row) {
            void* address = loader_->lookup(module_, exportedName(row).c_str());
            if (!address)
                throw EMidiLibException("Failed to loadproc:" + displayName(row));
            // POSIX guarantees a data address from dlsym converts to a function pointer.
            std::memcpy(callables[size_t(row - 1)], &address, sizeof address);
        }
    } catch (...) {
        loader_->release(module_);
        module_ = nullptr;
        throw;
    }
}

TMidiLib::~TMidiLib() {
    if (module_ && !loader_->release(module_)) {
        // A destructor cannot throw; the failure goes to Qt's message log.
        qWarning("FreeLibrary failed");
    }
}

// ---- Hidden window --------------------------------------------------------

MidiLibWindow::MidiLibWindow(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    target_.post = &MidiLibWindow::post;
    target_.context = this;
}

void MidiLibWindow::post(void* context, uint32_t message, uint32_t wparam, uintptr_t lparam) {
    auto* window = static_cast<MidiLibWindow*>(context);
    QMetaObject::invokeMethod(
        window,
        [window, message, wparam, lparam] {
            if (window->handler_)
                window->handler_(message, wparam, lparam);
        },
        Qt::QueuedConnection);
}

// ---- TMidiLibOut ----------------------------------------------------------

TMidiLibOut::TMidiLibOut(QObject* owner)
    : QObject(owner),
      window_(new MidiLibWindow([this](uint32_t message, uint32_t, uintptr_t) { notify(message); },
                                this)) {}

TMidiLibOut::~TMidiLibOut() {
    if (open_)
        Close();
    delete window_;
}

bool TMidiLibOut::Open(uint16_t device, uint32_t flags) {
    if (!MidiLib)
        throw EMidiLibException("No MidiLib");
    if (open_)
        throw EMidiLibException("already open");
    char buffer[MIDILIB_NAME_SIZE] = {};
    if (MidiLib->GetMidiOutDescription(device, buffer) != 0)
        description_ = nameFromBuffer(buffer, sizeof buffer);
    else
        description_.clear();
    const uint32_t sync = Sync ? Sync->handle() : 0;
    flags_ = flags;
    device_ = device;
    handle_ = MidiLib->OpenMidiOut(window_->handle(), device, sync, flags);
    open_ = handle_ > lastFailedHandle;
    if (!open_)
        handle_ = 0;
    return open_;
}

void TMidiLibOut::Close() {
    if (!open_)
        throw EMidiLibException("midiOut not open");
    description_.clear();
    Reset();
    MidiLib->CloseMidiOut(handle_);
    open_ = false;
}

void TMidiLibOut::Reset() {
    if (!open_)
        throw EMidiLibException("midiOut not open");
    MidiLib->ResetMidiOut(handle_);
}

bool TMidiLibOut::Put(LPMIDIEVENT event) {
    if (!open_)
        return true;
    return (MidiLib->PutMidiOut(handle_, event) & 0xFFFFu) == 0;
}

void TMidiLibOut::notify(uint32_t message) {
    // A message still queued when the port closed speaks of a buffer that
    // is gone; feeding it would drain the tracks into a closed port.
    if (message != MIDILIB_MSG_OUT_BUFFER_READY || !open_)
        return;
    if (Feed)
        Feed->Send(*this);
    if (OutBufferReady)
        OutBufferReady(this);
}

// ---- TMidiLibTrack --------------------------------------------------------

TMidiLibTrack::~TMidiLibTrack() {
    std::free(events_);
}

void TMidiLibTrack::reserve(uint32_t capacity) {
    if (capacity <= capacity_)
        return;
    events_ = growBlock(events_, capacity_, capacity);
    capacity_ = capacity;
}

void TMidiLibTrack::append(const MIDIEVENT& event, int64_t index) {
    if (count_ == capacity_)
        reserve(capacity_ + growth);
    if (index < 0 || index >= int64_t(count_)) {
        events_[count_] = event;
    } else {
        std::memmove(events_ + index + 1, events_ + index,
                     size_t(count_ - uint32_t(index)) * sizeof(MIDIEVENT));
        events_[index] = event;
    }
    ++count_;
}

const std::string& TMidiLibTrack::name() {
    if (name_.empty() && file_ && file_->isOpen() && file_->mode() == 'r') {
        std::vector<uint8_t> data;
        if (file_->ReadMetaEvent(this, 3, data) != -1)
            name_.assign(data.begin(), data.end());
    }
    return name_;
}

// ---- TMidiLibFeed ---------------------------------------------------------

TMidiLibFeed::~TMidiLibFeed() {
    clear();
    std::free(merged_);
}

void TMidiLibFeed::addTrack(TMidiLibTrack* track) {
    if (!track)
        return;
    Cursor cursor{track};
    cursors_.push_back(cursor);
}

void TMidiLibFeed::addTracks(TMidiLibSMF& file) {
    for (size_t i = 0; i < file.trackCount(); ++i)
        addTrack(file.track(i));
}

void TMidiLibFeed::clear() {
    for (Cursor& cursor : cursors_)
        std::free(cursor.chunk);
    cursors_.clear();
    mergedCount_ = 0;
    next_ = 0;
    lastTime_ = 0;
}

void TMidiLibFeed::Send(TMidiLibOut& port) {
    if (cursors_.empty())
        return;
    for (;;) {
        if (next_ == mergedCount_) {
            refill();
            next_ = 0;
        }
        if (next_ < mergedCount_ && port.Put(&merged_[next_]))
            ++next_;
        else
            return;
    }
}

void TMidiLibFeed::refill() {
    if (!merged_)
        merged_ = growBlock(nullptr, 0, batchSize);

    Cursor* run = nullptr;
    for (Cursor& c : cursors_) {
        TMidiLibTrack& track = *c.track;
        c.next = 0;
        c.length = 0;
        if (track.recording || track.muted || track.position >= track.count())
            continue;
        // The absolute time of the event before `position`.
        if (c.knownPosition > track.position) {
            c.knownPosition = 0;
            c.knownTime = 0;
        }
        const MIDIEVENT* events = track.events();
        for (; c.knownPosition < track.position; ++c.knownPosition)
            c.knownTime += events[c.knownPosition].time;
        c.length = std::min(batchSize, track.count() - track.position);
        if (!c.chunk)
            c.chunk = growBlock(nullptr, 0, batchSize);
        uint32_t time = c.knownTime;
        for (uint32_t i = 0; i < c.length; ++i) {
            c.chunk[i] = events[track.position + i];
            time += c.chunk[i].time;
            c.chunk[i].time = time;
        }
        if (c.inExclusive)
            run = &c;
    }

    uint32_t size = 0;
    while (size < batchSize) {
        Cursor* from = run;
        if (from) {
            if (from->next == from->length)
                break;
        } else {
            for (Cursor& c : cursors_) {
                if (c.next < c.length &&
                    (!from || c.chunk[c.next].time < from->chunk[from->next].time))
                    from = &c;
            }
            if (!from)
                break;
        }
        const MIDIEVENT& event = from->chunk[from->next++];
        merged_[size++] = event;
        if (event.data1 == 0xF0) {
            from->inExclusive = true;
            run = from;
        } else if (event.data1 == 0xF7) {
            from->inExclusive = false;
            run = nullptr;
        }
    }

    for (Cursor& c : cursors_) {
        c.track->position += c.next;
        // Keep the chunk block for the next refill; it is freed with the feed.
        c.length = 0;
        c.next = 0;
    }

    if (size > 0) {
        const uint32_t batchLast = merged_[size - 1].time;
        for (uint32_t i = size - 1; i >= 1; --i) {
            const uint32_t previous = merged_[i - 1].time;
            merged_[i].time = merged_[i].time > previous ? merged_[i].time - previous : 0;
        }
        // An exclusive run may have taken events ahead of another track's;
        // an earlier event then goes out at once instead of wrapping around.
        merged_[0].time = merged_[0].time > lastTime_ ? merged_[0].time - lastTime_ : 0;
        lastTime_ = batchLast;
    }
    mergedCount_ = size;
}

// ---- TMidiLibIn -----------------------------------------------------------

TMidiLibIn::TMidiLibIn(QObject* owner)
    : QObject(owner),
      window_(new MidiLibWindow([this](uint32_t message, uint32_t, uintptr_t) { notify(message); },
                                this)) {}

TMidiLibIn::~TMidiLibIn() {
    if (open_)
        Close();
    delete window_;
}

bool TMidiLibIn::Open(uint16_t device, uint32_t flags) {
    if (!MidiLib)
        throw EMidiLibException("No MidiLib");
    if (open_)
        throw EMidiLibException("already open");
    char buffer[MIDILIB_NAME_SIZE] = {};
    const bool known = MidiLib->GetMidiInDescription(device, buffer) != 0;
    const uint32_t sync = Sync ? Sync->handle() : 0;
    handle_ = MidiLib->OpenMidiIn(window_->handle(), device, sync, flags);
    open_ = handle_ > lastFailedHandle;
    if (!open_)
        handle_ = 0;
    description_ = open_ && known ? nameFromBuffer(buffer, sizeof buffer) : std::string();
    carried_ = 0;
    started_ = false;
    return open_;
}

void TMidiLibIn::Start() {
    if (!open_)
        throw EMidiLibException("midiIn not open");
    MidiLib->StartMidiIn(handle_);
    started_ = true;
}

void TMidiLibIn::Stop() {
    if (!open_)
        throw EMidiLibException("midiIn not open");
    started_ = false;
    MidiLib->StopMidiIn(handle_);
}

void TMidiLibIn::Close() {
    if (!open_)
        throw EMidiLibException("midiIn not open");
    Stop();
    MidiLib->CloseMidiIn(handle_);
    description_.clear();
    open_ = false;
}

void TMidiLibIn::setRecordingTrack(TMidiLibTrack* track) {
    recording_ = track;
    if (track)
        track->recording = true;
}

void TMidiLibIn::notify(uint32_t message) {
    // A message queued before Close names a handle that is gone.
    if (message == MIDILIB_MSG_IN_DATA && open_)
        receive();
}

void TMidiLibIn::receive() {
    while (LPMIDIEVENT received = MidiLib->GetMidiIn(handle_)) {
        MIDIEVENT event = *received;
        event.time += carried_;
        bool accept = event.status != 0xFE;
        if (accept && OnMidiData)
            OnMidiData(&event, &accept);
        carried_ = accept ? 0 : event.time;
        if (accept && recording_ && recording_->recording)
            recording_->append(event);
        // A handler may have closed the port.
        if (!open_)
            return;
    }
}

// ---- TMidiLibSync ---------------------------------------------------------

TMidiLibSync::TMidiLibSync(QObject* owner)
    : QObject(owner),
      window_(new MidiLibWindow([this](uint32_t message, uint32_t, uintptr_t) { notify(message); },
                                this)) {}

TMidiLibSync::~TMidiLibSync() {
    Stop();
    if (open_)
        Close();
    delete window_;
}

bool TMidiLibSync::Open(uint32_t tempo, uint32_t resolution, uint32_t flags) {
    if (!MidiLib)
        throw EMidiLibException("No MidiLib");
    if (open_)
        throw EMidiLibException("already open");
    handle_ = MidiLib->OpenSync(window_->handle(), flags, tempo, resolution);
    open_ = handle_ > lastFailedHandle;
    if (!open_)
        handle_ = 0;
    running_ = false;
    return open_;
}

void TMidiLibSync::requireOpen() const {
    if (!open_)
        throw EMidiLibException("sync not open");
}

void TMidiLibSync::Close() {
    requireOpen();
    MidiLib->CloseSync(handle_);
    running_ = false;
    open_ = false;
}

void TMidiLibSync::Stop() {
    if (!open_)
        return;
    MidiLib->StopSync(handle_);
    running_ = false;
}

void TMidiLibSync::Start() {
    requireOpen();
    MidiLib->StartSync(handle_);
    running_ = true;
}

void TMidiLibSync::Pause(bool pause) {
    requireOpen();
    MidiLib->PauseSync(handle_, pause ? 1 : 0);
    running_ = !pause;
}

void TMidiLibSync::Restart() {
    requireOpen();
    MidiLib->ReStartSync(handle_);
    running_ = true;
}

void TMidiLibSync::setTempo(uint32_t tempo) {
    requireOpen();
    MidiLib->SetTempo(handle_, tempo);
}

void TMidiLibSync::setResolution(uint32_t resolution) {
    requireOpen();
    MidiLib->SetResolution(handle_, resolution);
}

uint32_t TMidiLibSync::tempo() const {
    requireOpen();
    return MidiLib->GetTempo(handle_);
}

uint32_t TMidiLibSync::resolution() const {
    requireOpen();
    return MidiLib->GetResolution(handle_);
}

uint32_t TMidiLibSync::position() const {
    requireOpen();
    uint32_t ticks = 0;
    MidiLib->GetPosition(handle_, &ticks);
    return ticks;
}

void TMidiLibSync::notify(uint32_t message) {
    if (message == MIDILIB_MSG_SYNC_BEAT && OnMidiBeat)
        OnMidiBeat(this);
    else if (message == MIDILIB_MSG_SYNC_DONE && OnSyncDone)
        OnSyncDone(this);
}

// ---- TMidiLibSMF ----------------------------------------------------------

TMidiLibSMF::TMidiLibSMF(QObject* owner) : QObject(owner) {}

TMidiLibSMF::~TMidiLibSMF() {
    if (open_)
        Close();
}

bool TMidiLibSMF::OpenRead(const std::string& path) {
    return open(path, 'r', 0, 0);
}

bool TMidiLibSMF::OpenWrite(const std::string& path, uint32_t format, uint32_t tracks) {
    return open(path, 'w', format, tracks);
}

bool TMidiLibSMF::open(const std::string& path, char mode, uint32_t format, uint32_t tracks) {
    if (!MidiLib)
        throw EMidiLibException("No MidiLib");
    if (open_)
        throw EMidiLibException("already open");
    uint32_t count = tracks;
    handle_ = MidiLib->OpenSMF(path.c_str(), uint32_t(mode), format, &count);
    open_ = handle_ > lastFailedHandle;
    if (!open_) {
        handle_ = 0;
        return false;
    }
    mode_ = mode;
    // A file of ours never holds more tracks than a MIDI file can name.
    count = std::min<uint32_t>(count, 0xFFFF);
    tracks_ = std::make_unique<TrackList>();
    tracks_->reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        tracks_->push_back(std::make_unique<TMidiLibTrack>(this));
    return true;
}

void TMidiLibSMF::Close() {
    if (!open_)
        throw EMidiLibException("SMF not open");
    MidiLib->CloseSMF(handle_);
    tracks_.reset();
    open_ = false;
}

void TMidiLibSMF::Rewind() {
    if (!open_)
        throw EMidiLibException("SMF not open");
    MidiLib->RewindSMF(handle_);
}

uint32_t TMidiLibSMF::resolution() const {
    if (!open_)
        throw EMidiLibException("SMF not open");
    return MidiLib->GetSMFResolution(handle_);
}

void TMidiLibSMF::setResolution(uint32_t resolution) {
    if (!open_)
        throw EMidiLibException("SMF not open");
    MidiLib->SetSMFResolution(handle_, resolution);
}

TMidiLibTrack* TMidiLibSMF::track(size_t index) const {
    return tracks_ && index < tracks_->size() ? (*tracks_)[index].get() : nullptr;
}

TMidiLibSMF::TrackList TMidiLibSMF::takeTracks() {
    TrackList list;
    if (tracks_) {
        list = std::move(*tracks_);
        tracks_.reset();
    }
    for (auto& t : list)
        t->file_ = nullptr;
    return list;
}

int64_t TMidiLibSMF::indexOf(const TMidiLibTrack* track) const {
    if (!tracks_)
        return -1;
    for (size_t i = 0; i < tracks_->size(); ++i)
        if ((*tracks_)[i].get() == track)
            return int64_t(i);
    return -1;
}

bool TMidiLibSMF::ReadTrack(TMidiLibTrack* track) {
    if (!open_)
        throw EMidiLibException("SMF not open");
    if (mode_ != 'r' || !tracks_)
        throw EMidiLibException("SMF cant read");
    const int64_t index = indexOf(track);
    if (index < 0)
        throw EMidiLibException("SMF bad track");

    uint32_t total = 0;
    for (;;) {
        while (track->capacity_ - total < readBatch)
            track->reserve(track->capacity_ + TMidiLibTrack::growth);
        uint32_t got =
            MidiLib->ReadSMF(handle_, uint32_t(index), track->events_ + total, readBatch);
        // Never count more than the room we offered.
        got = std::min(got, readBatch);
        if (got == 0)
            break;
        total += got;
    }
    track->count_ = total;
    track->position = 0;
    track->name();
    return total != 0;
}

bool TMidiLibSMF::WriteTrack(TMidiLibTrack* track) {
    if (mode_ != 'w' || !tracks_)
        throw EMidiLibException("SMF cant write");
    const int64_t index = indexOf(track);
    if (index < 0)
        throw EMidiLibException("SMF bad track");
    const std::string& name = track->name();
    if (!name.empty()) {
        // The name goes with its byte count, so the library never has to
        // guess where it ends.
        WriteMetaEvent(track, 3, reinterpret_cast<const uint8_t*>(name.data()),
                       uint32_t(name.size()));
    }
    const uint32_t count = track->count_ - std::min(track->position, track->count_);
    const uint32_t written = MidiLib->WriteSMF(handle_, uint32_t(index),
                                               track->events_ + (track->count_ - count), count);
    return written == count;
}

int32_t TMidiLibSMF::ReadMetaEvent(TMidiLibTrack* track, uint8_t type, std::vector<uint8_t>& data) {
    if (mode_ != 'r' || !tracks_)
        throw EMidiLibException("SMF cant read");
    const int64_t index = indexOf(track);
    if (index < 0)
        return -1;
    uint8_t* source = nullptr;
    uint32_t length = 0;
    const int32_t result = MidiLib->ReadMetaEvent(handle_, uint32_t(index), type, &source, &length);
    if (result != -1) {
        data.assign(length, 0);
        if (source && length > 0)
            std::memcpy(data.data(), source, length);
    }
    return result;
}

bool TMidiLibSMF::WriteMetaEvent(TMidiLibTrack* track, uint8_t type, const uint8_t* data,
                                 uint32_t length) {
    if (mode_ != 'w' || !tracks_)
        throw EMidiLibException("SMF cant write");
    const int64_t index = indexOf(track);
    if (index < 0)
        return false;
    return MidiLib->WriteMetaEvent(handle_, uint32_t(index), type, data, length) == 0;
}
