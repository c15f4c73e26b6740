// The output entry points: the device list and the output ports.
#include "midilib32.h"
#include "midilib32_render.h"

#include "boundary.h"
#include "handles.h"
#include "internal.h"
#include "jackports.h"
#include "outdevices.h"
#include "outport.h"
#include "portout.h"
#include "synthout.h"

#include <cstring>
#include <future>
#include <string_view>
#include <thread>

namespace midilib {

namespace {

// Output port handles; input, clock and file handles use other ranges.
HandleTable<OutPort>& ports() {
    static HandleTable<OutPort> table(0x00010000);
    return table;
}

// The system's MIDI ports behind devices 1, 2, ... They are listed on a
// thread of their own the first time anything asks, so the list is usually
// ready by the time a program shows it; asking for the count lists afresh.
// An ALSA listing client closes after the list is handed on; JACK's ports
// are read through one client kept for the process (jackports.h), which is
// never activated and so never wakes with the server's periods.
class DeviceList {
public:
    // The JACK lister is made first, so it is torn down after the join below.
    DeviceList() { keepJackListerAlive(); }
    ~DeviceList() {
        if (worker_.joinable())
            worker_.join();
    }

    void startListing() {
        std::lock_guard lock(mutex_);
        if (!listing_.valid())
            launchLocked();
    }

    void refresh() {
        std::shared_future<std::vector<PortAddress>> listing;
        {
            std::lock_guard lock(mutex_);
            launchLocked();
            listing = listing_;
        }
        listing.wait();
    }

    void await() {
        std::shared_future<std::vector<PortAddress>> listing;
        {
            std::lock_guard lock(mutex_);
            listing = listing_;
        }
        if (listing.valid())
            listing.wait();
    }

    std::vector<PortAddress> ports() {
        startListing();
        std::shared_future<std::vector<PortAddress>> listing;
        {
            std::lock_guard lock(mutex_);
            listing = listing_;
        }
        return listing.get();
    }

private:
    void launchLocked() {
        if (worker_.joinable())
            worker_.join();
        std::promise<std::vector<PortAddress>> promise;
        listing_ = promise.get_future().share();
        worker_ = std::thread([promise = std::move(promise)]() mutable {
            PortListing listing = listOutPorts();
            promise.set_value(std::move(listing.ports));
        });
    }

    std::mutex mutex_;
    std::shared_future<std::vector<PortAddress>> listing_;
    std::thread worker_;
};

DeviceList& devices() {
    static DeviceList list;
    return list;
}

// Copies a name into a caller's MIDILIB_NAME_SIZE buffer, cut on a UTF-8
// character boundary so the text stays valid.
void copyName(std::string_view name, char* out) {
    size_t length = name.size();
    if (length > MIDILIB_NAME_SIZE - 1) {
        length = MIDILIB_NAME_SIZE - 1;
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(out, name.data(), length);
    out[length] = '\0';
}

} // namespace

void startListingOutDevices() {
    devices().startListing();
}

void awaitOutDevicesListing() {
    devices().await();
}

} // namespace midilib

using namespace midilib;

extern "C" {

uint32_t GetNumOutDevices(void) {
    return guarded<uint32_t>(1, [] {
        devices().refresh();
        return static_cast<uint32_t>(1 + devices().ports().size());
    });
}

uint32_t GetMidiOutDescription(uint32_t device, char* name) {
    return guarded<uint32_t>(0, [&]() -> uint32_t {
        if (!name)
            return 0;
        name[0] = '\0';
        if (device == 0) {
            devices().startListing();
            copyName(synthDeviceName, name);
            return 1;
        }
        const auto list = devices().ports();
        if (device > list.size())
            return 0;
        copyName(list[device - 1].name, name);
        return 1;
    });
}

uint32_t OpenMidiOut(HMIDILIBWINDOW window, uint32_t device, uint32_t sync, uint32_t flags) {
    return guarded<uint32_t>(0, [&]() -> uint32_t {
        if (sync != 0 && syncMillisPerTick(sync) <= 0)
            return 0;
        devices().startListing();
        OutPort::Options options;
        options.window = window;
        options.sync = sync;
        std::unique_ptr<OutSink> sink;
        if (device == 0) {
            options.offline = (flags & MIDILIB_OUT_OFFLINE) != 0;
            options.framesPerSecond = MIDILIB_RENDER_RATE;
            sink = openSynth(options.offline);
        } else {
            const auto list = devices().ports();
            if (device > list.size())
                return 0;
            sink = openPort(list[device - 1]);
        }
        if (!sink)
            return 0;
        auto port = std::make_shared<OutPort>(std::move(sink), options);
        const uint32_t handle = ports().add(port);
        port->setHandle(handle);
        port->announceReady();
        return handle;
    });
}

uint32_t ResetMidiOut(uint32_t port) {
    return guarded<uint32_t>(putNoPort, [&]() -> uint32_t {
        const auto found = ports().find(port);
        if (!found)
            return putNoPort;
        found->reset();
        return 0;
    });
}

uint32_t FlushMidiOut(uint32_t port) {
    return guarded<uint32_t>(putNoPort, [&]() -> uint32_t {
        const auto found = ports().find(port);
        if (!found)
            return putNoPort;
        found->flush();
        return 0;
    });
}

uint32_t CloseMidiOut(uint32_t port) {
    return guarded<uint32_t>(putNoPort, [&]() -> uint32_t {
        const auto found = ports().remove(port);
        if (!found)
            return putNoPort;
        found->close();
        return 0;
    });
}

uint32_t PutMidiOut(uint32_t port, LPMIDIEVENT event) {
    return guarded<uint32_t>(putDeviceRefused, [&]() -> uint32_t {
        if (!event)
            return putBadEvent;
        const auto found = ports().find(port);
        if (!found)
            return putNoPort;
        return found->put(*event);
    });
}

uint32_t RenderMidiOut(uint32_t port, float* left, float* right, uint32_t frames) {
    return guarded<uint32_t>(0, [&]() -> uint32_t {
        const auto found = ports().find(port);
        return found ? found->render(left, right, frames) : 0;
    });
}

} // extern "C"
