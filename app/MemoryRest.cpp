#include "app/MemoryRest.h"

#include "monitor/PassDownloads.h"
#include "platform/FreeMemory.h"

#include <utility>

namespace vantrel {

MemoryRest::MemoryRest(std::function<bool()> busy, QObject* parent)
    : QObject(parent), busy_(std::move(busy)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &MemoryRest::giveBack);
}

void MemoryRest::passEnded(int rows) {
    // A short list frees little; it is left to the C library as ever.
    if (rows < static_cast<int>(PassDownloads::kLargeList))
        return;
    next_ = 0;
    timer_.start(kDelays[0]);
}

void MemoryRest::giveBack() {
    // Never in the middle of a pass: the pass's own end starts over.
    if (busy_ && busy_()) {
        next_ = kDelays.size();
        return;
    }
    FreeMemory::giveBack();
    if (++next_ < kDelays.size())
        timer_.start(kDelays[next_] - kDelays[next_ - 1]);
}

} // namespace vantrel
