#pragma once
// A row of the arrow-key step tables: the step button held down, the modifiers, the step.

#include <Qt>

#include <ostream>

struct KeyStepCase {
    int button; // the down D button, -1 none
    Qt::KeyboardModifiers modifiers;
    int step;
};

inline void PrintTo(const KeyStepCase& c, std::ostream* os)
{
    *os << "D" << c.button + 1 << (c.modifiers & Qt::ShiftModifier ? "_shift" : "")
        << (c.modifiers & Qt::ControlModifier ? "_ctrl" : "") << "_" << c.step;
}
