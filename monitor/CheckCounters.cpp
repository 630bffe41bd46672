#include "monitor/CheckCounters.h"

namespace vantrel {

void CheckCounters::add(const CheckRecord& record) {
    Site& site = sites_[{record.url, record.title}];
    ++site.checks;
    site.failures += record.outcome != CheckRecord::kGood;
    site.last = record;
    ++checks_;
}

} // namespace vantrel
