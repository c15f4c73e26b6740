#include "app/application.h"
#include "app/zorpunit1.h"
#include "midi/midilib.h"
#include "tests/support/standin.h"
#include "tests/support/testclock.h"

#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr uint64_t openFlags = 78624;

using StillClock = TestClock;

class DeviceChoice : public ::testing::Test {
protected:
    void SetUp() override {
        standin::reset();
        TonyxApplication::setMessageSink([this](const std::string& m) { messages.push_back(m); });
    }
    void TearDown() override { TonyxApplication::setMessageSink({}); }

    void makeWindow() {
        form = std::make_unique<TForm1>(clock, "StandInMidi");
        form->show();
    }
    // Clicks line `row` of the device list as the user would.
    void clickLine(int row) {
        QListWidget* list = form->SetupListBox;
        const QRect line = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
    }
    static std::vector<std::string> calls(const std::vector<std::string>& only) {
        std::vector<std::string> out;
        for (const auto& c : standin::callNames())
            if (std::find(only.begin(), only.end(), c) != only.end())
                out.push_back(c);
        return out;
    }
    static std::vector<uint64_t> lastOpen() {
        std::vector<uint64_t> args;
        for (const auto& c : standin::calls())
            if (c.name == "OpenMidiOut")
                args = c.args;
        return args;
    }

    StillClock clock;
    std::vector<std::string> messages;
    std::unique_ptr<TForm1> form;
};

const std::vector<std::string> portCalls = {"OpenMidiOut", "ResetMidiOut", "CloseMidiOut"};

} // namespace

TEST_F(DeviceChoice, ListsTheLibrarysDevicesInOrderWithDeviceZeroOpen) {
    standin::setDeviceNames({"Built-in Synth", "Port A", "Port B"});
    makeWindow();
    QListWidget* list = form->SetupListBox;
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Built-in Synth");
    EXPECT_EQ(list->item(2)->text(), "Port B");
    EXPECT_EQ(form->deviceCount, 3);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    // The list stopped at the first index the library did not know.
    std::vector<uint64_t> asked;
    for (const auto& c : standin::calls())
        if (c.name == "GetMidiOutDescription")
            asked.push_back(c.args[0]);
    EXPECT_EQ(asked, (std::vector<uint64_t>{0, 0, 1, 2, 3}));

    ASSERT_TRUE(form->MidiLibOut->isOpen());
    EXPECT_EQ(form->MidiLibOut->MidiLib, form->MidiLib.get());
    EXPECT_EQ(lastOpen()[1], 0u);
    EXPECT_EQ(lastOpen()[2], 0u);
    EXPECT_EQ(lastOpen()[3], openFlags);
    // The drill plays on device 0 before any click.
    EXPECT_EQ(form->noteOutput(), form->MidiLibOut.get());
}

TEST_F(DeviceChoice, NoDevicesLeaveTheListEmpty) {
    standin::setDeviceNames({});
    makeWindow();
    EXPECT_EQ(form->SetupListBox->count(), 0);
    EXPECT_EQ(form->deviceCount, 0);
    EXPECT_FALSE(form->MidiLibOut->isOpen());
}

TEST_F(DeviceChoice, AClickClosesThePortAndOpensTheChosenDevice) {
    standin::setDeviceNames({"Synth", "Port A", "Port B"});
    makeWindow();
    for (int row : {2, 2, 0}) {
        standin::reset();
        standin::setDeviceNames({"Synth", "Port A", "Port B"});
        clickLine(row);
        EXPECT_EQ(calls(portCalls),
                  (std::vector<std::string>{"ResetMidiOut", "CloseMidiOut", "OpenMidiOut"}));
        EXPECT_EQ(lastOpen()[1], uint64_t(row));
        EXPECT_EQ(lastOpen()[3], openFlags);
        EXPECT_EQ(form->MidiLibOut->deviceIndex(), row);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(DeviceChoice, TheArrowKeysChooseTheDeviceThatSounds) {
    standin::setDeviceNames({"Synth", "Port A", "Port B"});
    makeWindow();
    QListWidget* list = form->SetupListBox;
    list->setFocus();
    // The cursor starts on the first line, which is open but not chosen.
    list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    for (const auto& [key, row] :
         {std::pair{Qt::Key_Down, 1}, std::pair{Qt::Key_Down, 2}, std::pair{Qt::Key_Up, 1}}) {
        standin::reset();
        standin::setDeviceNames({"Synth", "Port A", "Port B"});
        QTest::keyClick(list, key);
        ASSERT_EQ(list->currentRow(), row);
        EXPECT_EQ(calls(portCalls),
                  (std::vector<std::string>{"ResetMidiOut", "CloseMidiOut", "OpenMidiOut"}));
        EXPECT_EQ(form->MidiLibOut->deviceIndex(), row);
    }
    // A click on the highlighted line opens it once more, as ever; a click
    // that moves the highlight opens the new line once.
    for (int row : {1, 0}) {
        standin::reset();
        standin::setDeviceNames({"Synth", "Port A", "Port B"});
        clickLine(row);
        EXPECT_EQ(calls(portCalls),
                  (std::vector<std::string>{"ResetMidiOut", "CloseMidiOut", "OpenMidiOut"}));
        EXPECT_EQ(form->MidiLibOut->deviceIndex(), row);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(DeviceChoice, AClickWithNoPortOpenStillOpensTheChosenDevice) {
    standin::setDeviceNames({"Synth", "Port A"});
    standin::setOpenResult(0); // the synthesizer refuses (no sound card)
    makeWindow();
    ASSERT_FALSE(form->MidiLibOut->isOpen());
    standin::setOpenResult(100);
    clickLine(1);
    EXPECT_TRUE(form->MidiLibOut->isOpen());
    EXPECT_EQ(form->MidiLibOut->deviceIndex(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(DeviceChoice, ClosingTheWindowSilencesAndClosesThePort) {
    makeWindow();
    standin::reset();
    form->close();
    EXPECT_EQ(calls(portCalls),
              (std::vector<std::string>{"ResetMidiOut", "ResetMidiOut", "CloseMidiOut"}));
    EXPECT_FALSE(form->MidiLibOut->isOpen());
    EXPECT_TRUE(messages.empty());
}

TEST_F(DeviceChoice, ClosingTheWindowWithNoPortOpenIsQuiet) {
    standin::setOpenResult(0);
    makeWindow();
    standin::reset();
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(calls(portCalls).empty());
    EXPECT_TRUE(messages.empty());
}

int main(int argc, char** argv) {
    TonyxApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
