#pragma once
// An owner for the instrument windows under test: it stands in for the start-up window's
// window switch and records what it is asked.

#include "app/windows/Formapqmr.h"

#include <QWidget>

#include <utility>
#include <vector>

namespace slidertest {

class SwitchRecorder : public QWidget, public KWindowSwitch {
public:
    void ChangeWindow(int number, int linkCode) override { changes.emplace_back(number, linkCode); }
    bool HasWindow(int number) const override { return number >= 0 && number <= 2; }
    void Quit() override { ++quits; }

    std::vector<std::pair<int, int>> changes;
    int quits = 0;
};

} // namespace slidertest
