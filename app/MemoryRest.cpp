#include "app/MemoryRest.h"

#include "monitor/PassDownloads.h"
#include "platform/FreeMemory.h"

namespace vantrel {

MemoryRest::MemoryRest(QObject* parent) : QObject(parent) {
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
    FreeMemory::giveBack();
    if (++next_ < kDelays.size())
        timer_.start(kDelays[next_] - kDelays[next_ - 1]);
}

} // namespace vantrel
