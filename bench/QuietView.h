#pragma once

#include "tests/support/FakeMonitorView.h"

#include <chrono>

namespace vantrel::bench {

// The in-memory window, minus its records of tray changes, which would grow
// with every check and hide what the engine itself keeps.
class QuietView : public test::FakeMonitorView {
public:
    void showTrayOn() override {}
    void showTrayAlert() override {}
    void setCheckTimer(std::chrono::milliseconds) override {}
};

} // namespace vantrel::bench
