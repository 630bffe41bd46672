#include "model/SiteList.h"

#include "model/SiteListObserver.h"

#include <algorithm>
#include <string_view>

namespace vantrel {

namespace {

// Byte-wise comparison with the bytes taken as unsigned, like strcmp.
bool lessUnsigned(const std::string& a, const std::string& b) {
    return std::string_view(a).compare(b) < 0; // char_traits<char>::compare is memcmp: unsigned
}

} // namespace

void SiteList::setRow(int i, const SiteEntry& entry) {
    rows_.at(static_cast<size_t>(i)) = entry;
    if (observer_)
        observer_->rowsChanged(i, i);
}

void SiteList::insertAtTop(const SiteEntry& entry) {
    if (observer_)
        observer_->rowsAboutToBeInserted(0, 0);
    rows_.push_front(entry);
    if (observer_)
        observer_->rowsInserted();
}

void SiteList::insertAllAtTop(const std::vector<SiteEntry>& entries) {
    if (entries.empty())
        return;
    if (observer_)
        observer_->aboutToReset();
    for (const SiteEntry& e : entries)
        rows_.push_front(e);
    if (observer_)
        observer_->reset();
}

void SiteList::removeRow(int i) {
    if (!isValidRow(i))
        return;
    if (observer_)
        observer_->rowsAboutToBeRemoved(i, i);
    rows_.erase(rows_.begin() + i);
    if (observer_)
        observer_->rowsRemoved();
}

void SiteList::clear() {
    if (observer_)
        observer_->aboutToReset();
    rows_.clear();
    if (observer_)
        observer_->reset();
}

void SiteList::reverseRows() {
    if (rows_.size() < 2)
        return;
    if (observer_)
        observer_->aboutToReset();
    std::reverse(rows_.begin(), rows_.end());
    if (observer_)
        observer_->reset();
}

bool SiteList::sortByColumn(int c) {
    auto less = [c](const SiteEntry& a, const SiteEntry& b) { return lessUnsigned(a.column(c), b.column(c)); };
    // An exchange sort that swaps only strictly greater neighbours makes no
    // exchange exactly when the column is already in ascending order.
    if (std::is_sorted(rows_.begin(), rows_.end(), less)) {
        reverseRows();
        return false;
    }
    if (observer_)
        observer_->aboutToReset();
    std::stable_sort(rows_.begin(), rows_.end(), less);
    if (observer_)
        observer_->reset();
    return true;
}

int SiteList::findDuplicate(const SiteEntry& entry) const {
    for (int i = 0; i < rowCount(); ++i) {
        const SiteEntry& r = rows_[static_cast<size_t>(i)];
        if (r.title == entry.title && r.url == entry.url && r.testString == entry.testString)
            return i;
    }
    return -1;
}

} // namespace vantrel
