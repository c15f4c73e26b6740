#include "midi_test_support.h"

#include <QThread>

#include <thread>

namespace {

constexpr uint32_t openFlags = 78624;

class OutputPort : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        port.MidiLib = lib.get();
    }
    TMidiLibOut port;
};

} // namespace

TEST_F(OutputPort, OpensWithTheDeviceNameWindowNoSyncAndTheFlagsUnchanged) {
    standin::setDeviceNames({"Synth A", "Synth B"});
    EXPECT_TRUE(port.Open(1, openFlags));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.handle(), 100u);
    EXPECT_EQ(port.description(), "Synth B");
    EXPECT_EQ(port.deviceIndex(), 1);
    EXPECT_EQ(port.flags(), openFlags);

    const auto calls = standin::calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "GetMidiOutDescription");
    EXPECT_EQ(calls[0].args[0], 1u);
    EXPECT_EQ(calls[1].name, "OpenMidiOut");
    EXPECT_EQ(calls[1].args,
              (std::vector<uint64_t>{reinterpret_cast<uintptr_t>(port.window()), 1, 0, openFlags}));
}

TEST_F(OutputPort, PassesTheClockHandleWhenASyncIsSet) {
    TMidiLibSync sync;
    sync.MidiLib = lib.get();
    standin::setOpenResult(77);
    ASSERT_TRUE(sync.Open());
    port.Sync = &sync;
    standin::reset();
    ASSERT_TRUE(port.Open(0, openFlags));
    EXPECT_EQ(standin::calls().back().args[2], 77u);
}

TEST_F(OutputPort, HandlesUpToThirtyTwoMeanRefused) {
    const std::pair<uint32_t, bool> cases[] = {{0, false}, {1, false},  {32, false},
                                               {33, true}, {100, true}, {0xFFFFFFFFu, true}};
    for (auto [handle, opens] : cases) {
        TMidiLibOut p;
        p.MidiLib = lib.get();
        standin::setOpenResult(handle);
        EXPECT_EQ(p.Open(0, openFlags), opens) << handle;
        EXPECT_EQ(p.isOpen(), opens) << handle;
        EXPECT_EQ(p.handle(), opens ? handle : 0u) << handle;
        // A refused attempt still remembers what it tried.
        EXPECT_EQ(p.description(), "Stand-in Synth");
        EXPECT_EQ(p.flags(), openFlags);
    }
}

TEST_F(OutputPort, ADeviceBeyondTheLastOneDoesNotOpenAndHasNoName) {
    standin::setDeviceNames({"Only"});
    EXPECT_FALSE(port.Open(1, openFlags));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.description(), "");
    EXPECT_EQ(port.deviceIndex(), 1);
}

TEST_F(OutputPort, MisuseThrowsAndChangesNothing) {
    TMidiLibOut unbound;
    EXPECT_EQ(midiFailure([&] { unbound.Open(0, openFlags); }), "No MidiLib");
    EXPECT_EQ(midiFailure([&] { port.Close(); }), "midiOut not open");
    EXPECT_EQ(midiFailure([&] { port.Reset(); }), "midiOut not open");
    EXPECT_TRUE(standin::calls().empty());

    standin::setDeviceNames({"First", "Second"});
    ASSERT_TRUE(port.Open(0, openFlags));
    standin::reset();
    EXPECT_EQ(midiFailure([&] { port.Open(1, openFlags); }), "already open");
    EXPECT_TRUE(standin::calls().empty());
    EXPECT_EQ(port.description(), "First");
    EXPECT_EQ(port.deviceIndex(), 0);
}

TEST_F(OutputPort, CloseSilencesBeforeClosing) {
    ASSERT_TRUE(port.Open(0, openFlags));
    standin::reset();
    port.Close();
    EXPECT_EQ(standin::callNames(), (std::vector<std::string>{"ResetMidiOut", "CloseMidiOut"}));
    for (const auto& call : standin::calls())
        EXPECT_EQ(call.args, std::vector<uint64_t>{100});
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.description(), "");
    // It can open again.
    EXPECT_TRUE(port.Open(0, openFlags));
}

TEST_F(OutputPort, DestructionClosesAnOpenPort) {
    {
        TMidiLibOut p;
        p.MidiLib = lib.get();
        ASSERT_TRUE(p.Open(0, openFlags));
        standin::reset();
    }
    EXPECT_EQ(standin::callNames(), (std::vector<std::string>{"ResetMidiOut", "CloseMidiOut"}));
}

TEST_F(OutputPort, PutCountsALibraryResultAsTakenWhenItsLowSixteenBitsAreZero) {
    ASSERT_TRUE(port.Open(0, openFlags));
    const std::pair<uint32_t, bool> cases[] = {
        {0, true}, {0x10000, true}, {0xFFFF0000u, true}, {1, false}, {0x10001, false}};
    for (auto [result, taken] : cases) {
        standin::reset();
        standin::setPutResult(result);
        MIDIEVENT note = midiEvent(MIDILIB_TIME_NOW, 0x90, 60, 64);
        EXPECT_EQ(port.Put(&note), taken) << result;
        const auto events = standin::putEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].time, MIDILIB_TIME_NOW);
        EXPECT_EQ(events[0].data1, 60);
        EXPECT_EQ(standin::calls()[0].args[0], 100u);
    }
}

TEST_F(OutputPort, PutOnAClosedPortTakesTheEventQuietly) {
    standin::setOpenResult(0);
    EXPECT_FALSE(port.Open(0, openFlags));
    standin::reset();
    MIDIEVENT note = midiEvent(MIDILIB_TIME_NOW, 0x90, 60, 64);
    EXPECT_TRUE(port.Put(&note));
    EXPECT_TRUE(standin::calls().empty());
}

TEST_F(OutputPort, BufferReadyReachesOutBufferReadyOnTheGuiThread) {
    ASSERT_TRUE(port.Open(0, openFlags));
    std::vector<QObject*> senders;
    QThread* handledOn = nullptr;
    port.OutBufferReady = [&](QObject* sender) {
        senders.push_back(sender);
        handledOn = QThread::currentThread();
    };
    HMIDILIBWINDOW window = standin::lastWindow("OpenMidiOut");
    ASSERT_EQ(window, port.window());
    std::thread libraryThread([window] {
        standin::post(window, MIDILIB_MSG_OUT_BUFFER_READY);
        standin::post(window, 1234); // not ours: ignored
        standin::post(window, MIDILIB_MSG_IN_DATA);
    });
    libraryThread.join();
    EXPECT_TRUE(senders.empty()); // nothing runs on the library's thread
    deliverNotifications();
    EXPECT_EQ(senders, std::vector<QObject*>{&port});
    EXPECT_EQ(handledOn, QCoreApplication::instance()->thread());
}

TEST_F(OutputPort, NotificationsStillQueuedForADestroyedPortAreDropped) {
    auto p = std::make_unique<TMidiLibOut>();
    int calls = 0;
    p->OutBufferReady = [&](QObject*) { ++calls; };
    standin::post(p->window(), MIDILIB_MSG_OUT_BUFFER_READY);
    p.reset();
    deliverNotifications();
    EXPECT_EQ(calls, 0);
}
