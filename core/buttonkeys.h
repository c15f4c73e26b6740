#pragma once

class QWidget;

namespace buttonkeys {

// Enter and Return press the push button that has the keyboard focus, as
// Space does, in `window` and every push button it holds now. Without it a
// button outside a dialog ignores Enter, and a dialog sends Enter to its
// default button whichever button has the focus.
void pressFocusedButtonOnEnter(QWidget* window);

} // namespace buttonkeys
