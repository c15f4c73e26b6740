#pragma once

#include "midilib32.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace midilib {

// The door between a component and its window. Notifications may be posted
// from any of the component's threads, and the component may be closed
// from any thread, from inside one of its own notifications too. close()
// waits for posts under way on other threads and lets none start after it.
// A post under way on the closing thread itself is the one the caller is
// inside: waiting for it would wait for ever, and it ends when the caller
// returns, so it is not waited for.
class PostGate {
public:
    PostGate() = default;
    PostGate(const PostGate&) = delete;
    PostGate& operator=(const PostGate&) = delete;

    // Copies the window (null, or one without a post function: no window).
    void setWindow(const MIDILIBWINDOW* window) {
        std::lock_guard lock(mutex_);
        if (window && window->post)
            window_ = *window;
    }

    [[nodiscard]] bool hasWindow() const {
        std::lock_guard lock(mutex_);
        return window_.post != nullptr;
    }

    // Posts the message unless the gate is closed. Holds no lock meanwhile,
    // so the window may call into the library from its post function.
    void post(uint32_t message, uint32_t wparam, uintptr_t lparam) {
        MIDILIBWINDOW window;
        const auto self = std::this_thread::get_id();
        {
            std::lock_guard lock(mutex_);
            if (closed_ || !window_.post)
                return;
            window = window_;
            posting_.push_back(self);
        }
        window.post(window.context, message, wparam, lparam);
        std::lock_guard lock(mutex_);
        posting_.erase(std::find(posting_.begin(), posting_.end(), self));
        idle_.notify_all();
    }

    void close() {
        const auto self = std::this_thread::get_id();
        std::unique_lock lock(mutex_);
        closed_ = true;
        idle_.wait(lock, [&] {
            return std::all_of(posting_.begin(), posting_.end(),
                               [&](std::thread::id id) { return id == self; });
        });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    MIDILIBWINDOW window_{};
    bool closed_ = false;
    std::vector<std::thread::id> posting_; // one entry per post under way
};

} // namespace midilib
