#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace midilib {

// Maps the 32-bit handles a C caller holds to live objects. Handles start
// at `first` (above 32) and are never reused while the library is loaded,
// so a stale handle finds nothing instead of someone else's object.
template <class T> class HandleTable {
public:
    explicit HandleTable(uint32_t first) : next_(first) {}

    uint32_t add(std::shared_ptr<T> object) {
        std::lock_guard lock(mutex_);
        const uint32_t handle = next_++;
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    // The object behind `handle`, or null. The shared pointer keeps it alive
    // for the caller even if another thread removes the handle meanwhile.
    std::shared_ptr<T> find(uint32_t handle) const {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : it->second;
    }

    // Takes the object out of the table; null when the handle is unknown.
    std::shared_ptr<T> remove(uint32_t handle) {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(handle);
        if (it == objects_.end())
            return nullptr;
        auto object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

private:
    mutable std::mutex mutex_;
    std::map<uint32_t, std::shared_ptr<T>> objects_;
    uint32_t next_;
};

} // namespace midilib
