#include "app/PassGate.h"

#include "monitor/SiteMonitor.h"

#include <utility>

namespace vantrel {

void PassGate::whenNoPass(std::function<void()> command) {
    if (engine_.passRunning()) {
        waiting_.push_back(std::move(command));
        return;
    }
    command();
}

void PassGate::passEnded() {
    for (auto& command : std::exchange(waiting_, {}))
        command();
}

} // namespace vantrel
