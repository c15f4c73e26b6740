#include "portout.h"

#include "callbackguard.h"
#include "jackports.h"
#include "sound.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <thread>

namespace midilib {

namespace {

constexpr const char* clientName = "MidiLib32";

// Errors come back as results, never as text on stderr.
void recordError(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        static_cast<std::atomic<bool>*>(failed)->store(true);
}

// Many devices ignore the channel-mode messages, so the notes this port
// left on get their own note-off first, then each channel all notes off.
void silenceByMessages(OutSink& sink, const SoundingNotes& sounding) {
    for (uint8_t channel = 0; channel < 16; ++channel) {
        for (uint8_t note = 0; note < 128; ++note) {
            if (sounding[channel].test(note)) {
                const uint8_t off[3] = {static_cast<uint8_t>(0x80 | channel), note, 0};
                sink.send(off, 3);
            }
        }
        const uint8_t allNotesOff[3] = {static_cast<uint8_t>(0xB0 | channel), 123, 0};
        sink.send(allNotesOff, 3);
    }
}

// A port of the ALSA sequencer, through RtMidi.
class PortSink final : public OutSink {
public:
    bool open(const PortAddress& address) {
        out_ = std::make_unique<RtMidiOut>(address.api, clientName);
        out_->setErrorCallback(recordError, &failed_);
        const unsigned count = out_->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            if (out_->getPortName(i) == address.name) {
                out_->openPort(i, "out");
                return !failed_ && out_->isPortOpen();
            }
        }
        return false;
    }

    bool send(const uint8_t* bytes, size_t length) override {
        failed_ = false;
        out_->sendMessage(bytes, length);
        return !failed_;
    }

    void silence(const SoundingNotes& sounding) override { silenceByMessages(*this, sounding); }

private:
    std::atomic<bool> failed_{false};
    std::unique_ptr<RtMidiOut> out_;
};

// A JACK MIDI port of our own, connected to the chosen input port. Messages
// wait in a ring buffer until the connection is live: the server applies a
// new connection only from a later cycle on, and what is sent sooner would
// be lost.
class JackSink final : public OutSink {
public:
    ~JackSink() override {
        if (!client_)
            return;
        // Let the last messages (the note-offs of a close) reach the peer.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (!shutDown_ && jack_ringbuffer_read_space(ring_) > 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint64_t cycle = cycles_.load();
        while (!shutDown_ && cycles_.load() < cycle + 2 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        guard_.shut();
        jack_client_close(client_);
        jack_ringbuffer_free(ring_);
    }

    bool open(const std::string& destination) {
        client_ = openJackClient(clientName);
        if (!client_)
            return false;
        ring_ = jack_ringbuffer_create(65536);
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        // A cycle's buffer holds its events and a header; a message longer
        // than an empty buffer takes can never go out.
        const size_t bufferSize = jack_port_type_get_buffer_size(client_, JACK_DEFAULT_MIDI_TYPE);
        maxMessage_ = bufferSize > headerAllowance ? bufferSize - headerAllowance : 0;
        destination_ = jack_port_by_name(client_, destination.c_str());
        if (!ring_ || !port_ || !destination_ ||
            jack_set_process_callback(client_, process, this) != 0 ||
            jack_set_port_registration_callback(client_, onRegistration, this) != 0)
            return false;
        jack_on_shutdown(client_, onShutdown, this);
        if (jack_activate(client_) != 0)
            return false;
        const int connected = jack_connect(client_, jack_port_name(port_), destination.c_str());
        return connected == 0 || connected == EEXIST;
    }

    bool send(const uint8_t* bytes, size_t length) override {
        const auto size = static_cast<uint32_t>(length);
        if (shutDown_ || destinationGone_ ||
            jack_ringbuffer_write_space(ring_) < sizeof size + length)
            return false;
        jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(&size), sizeof size);
        jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(bytes), length);
        return true;
    }

    void silence(const SoundingNotes& sounding) override { silenceByMessages(*this, sounding); }

    [[nodiscard]] size_t maxMessage() const override { return maxMessage_; }

private:
    // Room in a cycle's buffer kept for its header and the event's entry
    // (JACK 2 uses 48 bytes for them).
    static constexpr size_t headerAllowance = 64;

    static int process(jack_nframes_t frames, void* self) {
        auto* sink = static_cast<JackSink*>(self);
        if (!sink->guard_.enter())
            return 0;
        sink->deliver(frames);
        sink->guard_.leave();
        return 0;
    }

    void deliver(jack_nframes_t frames) {
        void* buffer = jack_port_get_buffer(port_, frames);
        jack_midi_clear_buffer(buffer);
        cycles_.fetch_add(1);
        if (jack_port_connected(port_) == 0)
            return;
        const size_t fitsEmpty = jack_midi_max_event_size(buffer);
        uint32_t size = 0;
        while (jack_ringbuffer_read_space(ring_) >= sizeof size) {
            jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(&size), sizeof size);
            if (jack_ringbuffer_read_space(ring_) < sizeof size + size)
                break;
            if (size > fitsEmpty) {
                // No cycle could carry it: waiting would hold back every
                // later message for ever.
                jack_ringbuffer_read_advance(ring_, sizeof size + size);
                continue;
            }
            jack_midi_data_t* room = jack_midi_event_reserve(buffer, 0, size);
            if (!room)
                break; // this cycle is full; the rest goes in the next one
            jack_ringbuffer_read_advance(ring_, sizeof size);
            jack_ringbuffer_read(ring_, reinterpret_cast<char*>(room), size);
        }
    }

    static void onShutdown(void* self) { static_cast<JackSink*>(self)->shutDown_ = true; }

    // The port we send to went away (its program closed it or ended): what
    // is sent from then on reaches nobody, so it is refused instead.
    static void onRegistration(jack_port_id_t id, int registered, void* self) {
        auto* sink = static_cast<JackSink*>(self);
        if (!registered && jack_port_by_id(sink->client_, id) == sink->destination_)
            sink->destinationGone_ = true;
    }

    CallbackGuard guard_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    jack_port_t* destination_ = nullptr;
    jack_ringbuffer_t* ring_ = nullptr;
    size_t maxMessage_ = 0;
    std::atomic<uint64_t> cycles_{0};
    std::atomic<bool> shutDown_{false};
    std::atomic<bool> destinationGone_{false};
};

} // namespace

PortListing listOutPorts() {
    quietSoundLibraries();
    PortListing listing;
    if (alsaSequencerPresent()) {
        try {
            std::atomic<bool> failed{false};
            auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName);
            out->setErrorCallback(recordError, &failed);
            const unsigned count = out->getPortCount();
            for (unsigned i = 0; i < count && !failed; ++i) {
                std::string name = out->getPortName(i);
                if (!name.empty())
                    listing.ports.push_back({RtMidi::LINUX_ALSA, std::move(name)});
            }
            // Errors while it closes go to a flag that outlives this call.
            static std::atomic<bool> closing{false};
            out->setErrorCallback(recordError, &closing);
            listing.clients.emplace_back(out.release(),
                                         [](void* p) { delete static_cast<RtMidiOut*>(p); });
        } catch (...) {
            // No sequencer after all; JACK may still have ports.
        }
    }
    if (const auto names = jackMidiPorts(JackPortIsInput)) {
        for (const std::string& name : *names)
            listing.ports.push_back({RtMidi::UNIX_JACK, name});
    }
    return listing;
}

std::unique_ptr<OutSink> openPort(const PortAddress& address) {
    quietSoundLibraries();
    try {
        if (address.api == RtMidi::UNIX_JACK) {
            auto sink = std::make_unique<JackSink>();
            if (sink->open(address.name))
                return sink;
        } else {
            auto sink = std::make_unique<PortSink>();
            if (sink->open(address))
                return sink;
        }
    } catch (...) {
    }
    return nullptr;
}

} // namespace midilib
