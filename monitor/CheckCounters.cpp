#include "monitor/CheckCounters.h"

namespace vantrel {

void CheckCounters::add(const CheckRecord& record) {
    Site& site = sites_[{record.url, record.title}];
    ++checks_;
    if (record.localFailure()) {
        ++site.localFailures;
        return;
    }
    ++site.checks;
    site.failures += record.outcome != CheckRecord::kGood;
    site.last = record;
}

} // namespace vantrel
