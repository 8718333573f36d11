// Qt key events as the form toolkit's key codes: letters and the main
// keyboard's digits are their characters, the keypad digits 96 to 105,
// space 32. Shift state (of keys and mouse events): 1 shift, 2 control, 4 alt.
#pragma once

#include <QKeyEvent>

constexpr int kKeySpace = 32;
constexpr int kKeyNumpad0 = 96;

inline int FormKeyCode(const QKeyEvent& e) {
    const int key = e.key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return (e.modifiers() & Qt::KeypadModifier) ? kKeyNumpad0 + (key - Qt::Key_0) : key;
    if (key == Qt::Key_Space) return kKeySpace;
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;
    return 0;  // keys the windows do not look at
}

inline int FormShiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}
