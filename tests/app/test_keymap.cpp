#include "app/keymap.h"

#include <gtest/gtest.h>

namespace {

struct KeyCase {
    const char* what;
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    int expected;
};

const Qt::KeyboardModifiers none = Qt::NoModifier;
const Qt::KeyboardModifiers pad = Qt::KeypadModifier;
const Qt::KeyboardModifiers shift = Qt::ShiftModifier;

const KeyCase kCases[] = {
    {"main 1", Qt::Key_1, none, 49},
    {"main 9", Qt::Key_9, none, 57},
    {"main 0", Qt::Key_0, none, 48},
    {"keypad 1", Qt::Key_1, pad, 97},
    {"keypad 9", Qt::Key_9, pad, 105},
    {"keypad 0", Qt::Key_0, pad, 96},
    {"keypad point", Qt::Key_Period, pad, 110},
    {"keypad point under a comma locale", Qt::Key_Comma, pad, 110},
    {"main period is no key", Qt::Key_Period, none, 0},
    {"minus", Qt::Key_Minus, none, 189},
    {"keypad minus is no answer", Qt::Key_Minus, pad, 0},
    {"equals", Qt::Key_Equal, none, 187},
    {"grave", Qt::Key_QuoteLeft, none, 192},
    // The shift state is ignored: a shifted key keeps its code.
    {"shifted 1", Qt::Key_Exclam, shift, 49},
    {"shifted 5", Qt::Key_Percent, shift, 53},
    {"shifted 0", Qt::Key_ParenRight, shift, 48},
    {"shifted minus", Qt::Key_Underscore, shift, 189},
    {"shifted equals", Qt::Key_Plus, shift, 187},
    {"shifted grave", Qt::Key_AsciiTilde, shift, 192},
    {"keypad plus is no answer", Qt::Key_Plus, pad, 0},
    {"keypad star is no answer", Qt::Key_Asterisk, pad, 0},
    {"R", Qt::Key_R, none, 82},
    {"shifted R", Qt::Key_R, shift, 82},
    {"U", Qt::Key_U, none, 85},
    {"D", Qt::Key_D, none, 68},
    {"Return", Qt::Key_Return, none, 13},
    {"keypad Enter", Qt::Key_Enter, pad, 13},
    {"other letter", Qt::Key_A, none, 0},
    {"space", Qt::Key_Space, none, 0},
    {"Num Lock press", Qt::Key_NumLock, pad, 0},
    {"keypad with Num Lock off", Qt::Key_Home, pad, 0},
};

TEST(KeyMap, MapsEveryKeyToItsVirtualKeyCode) {
    for (const KeyCase& c : kCases)
        EXPECT_EQ(virtualKeyOf(c.qtKey, c.modifiers), c.expected) << c.what;
}

} // namespace
