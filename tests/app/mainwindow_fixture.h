#pragma once

// The main window and its Key Guide, joined as start-up joins them, on the
// stand-in MIDI library and a test clock, with the program's messages
// recorded: for the tests that drive the real window.

#include "app/application.h"
#include "app/zorpunit1.h"
#include "info/HelpFormUnit.h"
#include "tests/support/testdrill.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class JoinedMainWindow {
protected:
    FakeClock clock;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<THelpForm> guide;
    std::vector<std::string> messages;

    void makeWindows(uint32_t seed) {
        clock.time = 1000;
        messages.clear();
        TonyxApplication::setMessageSink([this](const std::string& m) { messages.push_back(m); });
        form = std::make_unique<TForm1>(clock, "StandInMidi");
        form->seedRandom(seed);
        guide = std::make_unique<THelpForm>();
        guide->setAnchorWindow(form.get());
        form->setKeyGuide(guide.get());
        Form1 = form.get();
        HelpForm = guide.get();
    }

    void dropWindows() {
        HelpForm = nullptr;
        Form1 = nullptr;
        form->setKeyGuide(nullptr);
        guide.reset();
        form.reset();
        TonyxApplication::setMessageSink({});
    }
};
