#include "outport.h"

#include "internal.h"

#include <algorithm>
#include <optional>

namespace midilib {

namespace {

constexpr size_t exclusiveLimit = 65536;

// Bytes in a message with this status, 0 for a status that cannot be sent
// on its own. System exclusive (F0) and meta (FF) events are handled apart.
size_t messageLength(uint8_t status) {
    if (status < 0x80)
        return 0;
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0))
        return 3;
    if (status < 0xE0)
        return 2;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
        return 1;
    default:
        return 0;
    }
}

bool validEvent(const MIDIEVENT& e) {
    if (e.status == 0xFF)
        return true;
    if (e.status == 0xF0 || e.status == 0xF7)
        return true; // one raw byte in data1
    const size_t length = messageLength(e.status);
    if (length == 0)
        return false;
    if (length >= 2 && e.data1 >= 0x80)
        return false;
    return length < 3 || e.data2 < 0x80;
}

} // namespace

OutPort::OutPort(std::unique_ptr<OutSink> sink, const Options& options)
    : options_(options), sink_(std::move(sink)) {
    gate_.setWindow(options.window);
    if (sink_)
        maxMessage_ = sink_->maxMessage();
    if (options_.capacity == 0)
        options_.capacity = 1;
    if (!options_.offline)
        scheduler_ = std::thread([this] {
            schedulerLoop();
            // Last: may destroy the port when it closed itself from here.
            const auto keep = std::move(keepAlive_);
        });
}

OutPort::~OutPort() {
    close();
}

void OutPort::setHandle(uint32_t handle) {
    handle_ = handle;
}

void OutPort::announceReady() {
    std::optional<uint32_t> room;
    {
        std::lock_guard lock(mutex_);
        refused_ = true;
        room = readyToTellLocked();
    }
    post(room);
}

int64_t OutPort::nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

uint32_t OutPort::put(const MIDIEVENT& event) {
    if (!validEvent(event))
        return putBadEvent;
    if (event.status == 0xF0 || event.status == 0xF7) {
        std::lock_guard lock(mutex_);
        if (!closed_ && !admitWireByteLocked(event.data1))
            return putTooLong;
    }
    if (event.time == MIDILIB_TIME_NOW) {
        std::lock_guard sinkLock(sinkMutex_);
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return putNoPort;
        }
        return dispatch(event) ? putTaken : putDeviceRefused;
    }

    std::lock_guard lock(mutex_);
    if (closed_)
        return putNoPort;
    if (queue_.size() >= options_.capacity) {
        refused_ = true;
        return putQueueFull;
    }
    Scheduled item{event, 0, event.time};
    if (options_.offline) {
        // Offline, a clock's ticks are turned into frames at its present tempo.
        double millis = event.time;
        if (options_.sync != 0) {
            const double perTick = syncMillisPerTick(options_.sync);
            millis = event.time * (perTick > 0 ? perTick : 1.0);
        }
        const int64_t delay =
            static_cast<int64_t>(millis * options_.framesPerSecond / 1000.0 + 0.5);
        item.due = std::max(lastDue_, rendered_) + delay;
        lastDue_ = item.due;
    } else if (clocked()) {
        if (queue_.empty()) {
            tickCount_.restart(nowNanos());
        }
    } else {
        item.due = std::max(lastDue_, nowNanos()) + int64_t{event.time} * 1000000;
        lastDue_ = item.due;
    }
    queue_.push_back(item);
    if (queue_.size() == 1)
        wake_.notify_one();
    return putTaken;
}

void OutPort::reset() {
    std::optional<uint32_t> room;
    {
        std::lock_guard sinkLock(sinkMutex_);
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return;
            queue_.clear();
            lastDue_ = 0;
            putExclusive_ = 0;
            putExclusiveRefused_ = false;
            room = readyToTellLocked();
        }
        inExclusive_ = false;
        exclusive_.clear();
        pendingLength_ = 0;
        runningStatus_ = 0;
        if (sink_)
            sink_->silence(sounding_);
        sounding_ = {};
    }
    post(room);
}

void OutPort::flush() {
    std::optional<uint32_t> room;
    {
        std::lock_guard sinkLock(sinkMutex_);
        std::vector<MIDIEVENT> batch;
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return;
            for (const Scheduled& item : queue_)
                batch.push_back(item.event);
            queue_.clear();
            lastDue_ = 0;
            room = readyToTellLocked();
        }
        dispatchAll(batch);
    }
    post(room);
}

void OutPort::close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        closed_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (scheduler_.joinable()) {
        if (scheduler_.get_id() == std::this_thread::get_id()) {
            // Closed from a post on the scheduler: it cannot wait for itself.
            // It sees the port closed once the post returns, and ends.
            keepAlive_ = weak_from_this().lock();
            scheduler_.detach();
        } else {
            scheduler_.join();
        }
    }
    // A post under way on another thread ends before close returns; later
    // ones find the gate shut.
    gate_.close();
    std::lock_guard sinkLock(sinkMutex_);
    if (sink_) {
        sink_->silence(sounding_);
        sink_.reset();
    }
}

uint32_t OutPort::render(float* left, float* right, uint32_t frames) {
    if (!options_.offline || !left || !right)
        return 0;
    uint32_t done = 0;
    std::vector<MIDIEVENT> batch;
    while (done < frames) {
        std::optional<uint32_t> room;
        {
            std::lock_guard sinkLock(sinkMutex_);
            int64_t until = 0;
            {
                std::lock_guard lock(mutex_);
                if (closed_ || !sink_)
                    return done;
                batch.clear();
                takeDueLocked(batch);
                room = readyToTellLocked();
                until = queue_.empty() ? rendered_ + (frames - done) : queue_.front().due;
            }
            dispatchAll(batch);
            const auto step = static_cast<uint32_t>(
                std::clamp<int64_t>(until - rendered_, 1, static_cast<int64_t>(frames - done)));
            if (!sink_->render(left + done, right + done, step))
                return done;
            done += step;
            std::lock_guard lock(mutex_);
            rendered_ += step;
        }
        post(room);
    }
    return done;
}

size_t OutPort::queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void OutPort::takeDueLocked(std::vector<MIDIEVENT>& batch) {
    if (options_.offline) {
        while (!queue_.empty() && queue_.front().due <= rendered_) {
            batch.push_back(queue_.front().event);
            queue_.pop_front();
        }
    } else if (clocked()) {
        advanceTicksLocked();
        while (!queue_.empty() && tickCount_.ticks >= queue_.front().ticks) {
            tickCount_.ticks -= queue_.front().ticks;
            batch.push_back(queue_.front().event);
            queue_.pop_front();
        }
        if (queue_.empty())
            tickCount_.ticks = 0;
    } else {
        const int64_t now = nowNanos();
        while (!queue_.empty() && queue_.front().due <= now) {
            batch.push_back(queue_.front().event);
            queue_.pop_front();
        }
    }
}

double OutPort::millisPerTick() const {
    // A clock closed under the port leaves its ticks counting as milliseconds.
    const double perTick = syncMillisPerTick(options_.sync);
    return perTick > 0 ? perTick : 1.0;
}

bool OutPort::advanceTicksLocked() {
    return tickCount_.advance(nowNanos(), syncRunning(options_.sync),
                              syncMillisPerTick(options_.sync));
}

std::optional<uint32_t> OutPort::readyToTellLocked() {
    if (!refused_ || closed_ || !gate_.hasWindow() || queue_.size() > options_.capacity / 2)
        return std::nullopt;
    refused_ = false;
    return static_cast<uint32_t>(options_.capacity - queue_.size());
}

// Posts outside every lock of the port, so that a window may call back
// into the library from its post function.
void OutPort::post(std::optional<uint32_t> room) {
    if (room)
        gate_.post(MIDILIB_MSG_OUT_BUFFER_READY, handle_, *room);
}

void OutPort::schedulerLoop() {
    std::unique_lock lock(mutex_);
    std::vector<MIDIEVENT> batch;
    while (!closed_) {
        if (queue_.empty()) {
            wake_.wait(lock);
            continue;
        }
        bool due = false;
        if (clocked()) {
            // Tempo and running state may change at any moment, so a clock
            // port looks again at least every few milliseconds while it waits.
            const bool running = advanceTicksLocked();
            const double left = queue_.front().ticks - tickCount_.ticks;
            due = left <= 0;
            if (!due) {
                const double waitMillis = running ? std::min(left * millisPerTick(), 5.0) : 5.0;
                wake_.wait_for(
                    lock, std::chrono::microseconds(static_cast<int64_t>(waitMillis * 1000) + 1));
                continue;
            }
        } else {
            const int64_t head = queue_.front().due;
            due = head <= nowNanos();
            if (!due) {
                wake_.wait_until(lock, SteadyClock::time_point(std::chrono::nanoseconds(head)));
                continue;
            }
        }
        // Take the sink first (lock order), then the queue again: a reset or
        // flush in between has already dealt with what was due.
        lock.unlock();
        std::optional<uint32_t> room;
        {
            std::lock_guard sinkLock(sinkMutex_);
            {
                std::lock_guard relock(mutex_);
                if (closed_)
                    break;
                batch.clear();
                takeDueLocked(batch);
                room = readyToTellLocked();
            }
            dispatchAll(batch);
        }
        post(room);
        lock.lock();
    }
}

void OutPort::dispatchAll(const std::vector<MIDIEVENT>& batch) {
    for (const MIDIEVENT& event : batch)
        dispatch(event);
}

bool OutPort::sendBytes(const uint8_t* bytes, size_t length) {
    return sink_ && sink_->send(bytes, length);
}

bool OutPort::dispatch(const MIDIEVENT& e) {
    if (e.status == 0xFF)
        return true; // a meta event keeps its place in time but is not sent
    if (e.status == 0xF0 || e.status == 0xF7)
        return feedWireByte(e.data1);
    const uint8_t bytes[3] = {e.status, e.data1, e.data2};
    return sendMessage(bytes, messageLength(e.status));
}

bool OutPort::sendMessage(const uint8_t* bytes, size_t length) {
    if (!sendBytes(bytes, length))
        return false;
    const uint8_t kind = bytes[0] & 0xF0;
    const uint8_t channel = bytes[0] & 0x0F;
    if (kind == 0x90 && bytes[2] > 0)
        sounding_[channel].set(bytes[1]);
    else if (kind == 0x80 || kind == 0x90)
        sounding_[channel].reset(bytes[1]);
    else if (kind == 0xB0 && (bytes[1] == 120 || bytes[1] == 123))
        sounding_[channel].reset();
    return true;
}

bool OutPort::admitWireByteLocked(uint8_t b) {
    if (b >= 0xF8) // real time: passes anywhere, even inside an exclusive message
        return true;
    if (b == 0xF0) {
        putExclusive_ = 1;
        putExclusiveRefused_ = false;
        return true;
    }
    if (putExclusive_ == 0)
        return true;
    if (b >= 0x80 && b != 0xF7) {
        // Another status cuts the message short; the status itself is sent.
        putExclusive_ = 0;
        putExclusiveRefused_ = false;
        return true;
    }
    ++putExclusive_;
    if (putExclusive_ > maxMessage_)
        putExclusiveRefused_ = true;
    const bool refused = putExclusiveRefused_;
    if (b == 0xF7) {
        putExclusive_ = 0;
        putExclusiveRefused_ = false;
    }
    return !refused;
}

// Byte events carry the bytes of exclusive messages, their continuation
// packets and any other raw bytes as they go on the wire; devices take
// whole messages, so the bytes are gathered here first.
bool OutPort::feedWireByte(uint8_t b) {
    if (b >= 0xF8) // real time: allowed anywhere, even inside an exclusive message
        return messageLength(b) == 0 || sendBytes(&b, 1);
    if (inExclusive_) {
        if (b < 0x80) {
            if (exclusive_.size() < exclusiveLimit)
                exclusive_.push_back(b);
            else
                exclusiveTooLong_ = true;
            return true;
        }
        inExclusive_ = false;
        if (b == 0xF7) {
            exclusive_.push_back(b);
            return exclusiveTooLong_ || sendBytes(exclusive_.data(), exclusive_.size());
        }
        // Any other status byte cuts the message short and starts its own.
    }
    if (b == 0xF0) {
        exclusive_.assign(1, 0xF0);
        inExclusive_ = true;
        exclusiveTooLong_ = false;
        pendingLength_ = 0;
        return true;
    }
    if (b >= 0x80) {
        pendingLength_ = 0;
        runningStatus_ = b < 0xF0 ? b : 0;
        const size_t length = messageLength(b);
        if (length == 1)
            return sendBytes(&b, 1);
        if (length > 1) {
            pending_[0] = b;
            pendingLength_ = 1;
            pendingExpected_ = length;
        }
        return true;
    }
    if (pendingLength_ == 0) {
        if (runningStatus_ == 0)
            return true; // a data byte with no status to belong to
        pending_[0] = runningStatus_;
        pendingLength_ = 1;
        pendingExpected_ = messageLength(runningStatus_);
    }
    pending_[pendingLength_++] = b;
    if (pendingLength_ < pendingExpected_)
        return true;
    pendingLength_ = 0;
    return sendMessage(pending_, pendingExpected_);
}

} // namespace midilib
