#include "monitor/SlowStreaks.h"

namespace vantrel {

bool SlowStreaks::note(const std::string& site, bool slowNow, bool wasSlow, int count) {
    if (!slowNow) {
        streaks_.erase(site);
        return false;
    }
    int& streak = streaks_[site];
    ++streak;
    return wasSlow || streak >= count;
}

} // namespace vantrel
