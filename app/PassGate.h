#pragma once

#include <functional>
#include <vector>

namespace vantrel {

class SiteMonitor;

// Holds the user's commands back while a check pass runs. A pass shows each
// site in the entry boxes as it checks it: an edit of the list made in
// between would work on the pass's entry, so it waits for the pass to end;
// so does a box the pass did not ask for.
class PassGate {
public:
    explicit PassGate(const SiteMonitor& engine) : engine_(engine) {}

    // Runs `command` now, or when the pass under way has ended.
    void whenNoPass(std::function<void()> command);
    // The pass has ended: what waited runs, in its order.
    void passEnded();

private:
    const SiteMonitor& engine_;
    std::vector<std::function<void()>> waiting_;
};

} // namespace vantrel
