#pragma once

#include <Qt>

// The drill speaks in the classic virtual-key codes: main-keyboard digits
// 48..57, minus 189, equals 187, grave accent 192, numeric pad digits
// 96..105 and its decimal point 110, the letters by their capitals (R 82,
// U 85, D 68) and Enter 13. Keypad keys are told apart by the keypad
// modifier; every other modifier is ignored. Unknown keys give 0.
[[nodiscard]] int virtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers);

// Virtual-key codes the drill reacts to.
namespace vk {
inline constexpr int Enter = 13;
inline constexpr int Digit0 = 48;
inline constexpr int KeyD = 68;
inline constexpr int KeyR = 82;
inline constexpr int KeyU = 85;
inline constexpr int Numpad0 = 96;
inline constexpr int Decimal = 110;
inline constexpr int Equals = 187;
inline constexpr int Minus = 189;
inline constexpr int Grave = 192;
} // namespace vk
