#pragma once

#include "midi/midilib.h"
#include "tests/support/standin.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Runs `body` and returns the message of the EMidiLibException it throws,
// or "(no exception)".
template <typename Body> std::string midiFailure(Body body) {
    try {
        body();
    } catch (const EMidiLibException& e) {
        return e.what();
    }
    return "(no exception)";
}

inline MIDIEVENT midiEvent(uint32_t time, uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0) {
    MIDIEVENT e{};
    e.time = time;
    e.status = status;
    e.data1 = data1;
    e.data2 = data2;
    return e;
}

// Hands queued notifications to their windows.
inline void deliverNotifications() {
    QCoreApplication::processEvents();
}

// A binding to the recording stand-in, which starts each test from its defaults.
class StandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        standin::reset();
        lib = std::make_unique<TMidiLib>(nullptr, "StandInMidi");
        standin::reset();
    }
    // The names of the recorded calls, leaving out `skipped`.
    static std::vector<std::string> names(const std::vector<std::string>& skipped = {}) {
        std::vector<std::string> out;
        for (const auto& n : standin::callNames())
            if (std::find(skipped.begin(), skipped.end(), n) == skipped.end())
                out.push_back(n);
        return out;
    }
    std::unique_ptr<TMidiLib> lib;
};
