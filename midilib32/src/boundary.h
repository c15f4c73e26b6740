#pragma once

#include <new>
#include <utility>

namespace midilib {

// Runs one entry point's body and turns any exception into the entry
// point's failure value: nothing may unwind into a C caller.
template <class R, class F> R guarded(R failure, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return failure;
    }
}

} // namespace midilib
