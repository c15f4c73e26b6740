#include "app/keymap.h"

namespace {

// A digit key held with Shift arrives as its symbol; the drill ignores the
// shift state, so the symbols of a US keyboard's digit row map back.
int shiftedDigit(int qtKey) {
    switch (qtKey) {
    case Qt::Key_ParenRight:
        return 0;
    case Qt::Key_Exclam:
        return 1;
    case Qt::Key_At:
        return 2;
    case Qt::Key_NumberSign:
        return 3;
    case Qt::Key_Dollar:
        return 4;
    case Qt::Key_Percent:
        return 5;
    case Qt::Key_AsciiCircum:
        return 6;
    case Qt::Key_Ampersand:
        return 7;
    case Qt::Key_Asterisk:
        return 8;
    case Qt::Key_ParenLeft:
        return 9;
    default:
        return -1;
    }
}

} // namespace

int virtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return (keypad ? vk::Numpad0 : vk::Digit0) + (qtKey - Qt::Key_0);
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter)
        return vk::Enter;
    if (keypad) {
        // The decimal key reads "," under some locales; other keypad keys
        // (operators, navigation with Num Lock off) are no answer keys.
        return qtKey == Qt::Key_Period || qtKey == Qt::Key_Comma ? vk::Decimal : 0;
    }
    if (const int digit = shiftedDigit(qtKey); digit >= 0)
        return vk::Digit0 + digit;
    switch (qtKey) {
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return vk::Minus;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return vk::Equals;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return vk::Grave;
    case Qt::Key_R:
        return vk::KeyR;
    case Qt::Key_U:
        return vk::KeyU;
    case Qt::Key_D:
        return vk::KeyD;
    default:
        return 0;
    }
}
