#pragma once

#include "model/SiteEntry.h"

#include <deque>
#include <vector>

namespace vantrel {

class SiteListObserver;

// The ordered rows of the site list, index 0 at the top. This is the only
// store of the sites; the list view shows these rows through an observer.
class SiteList {
public:
    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool isValidRow(int i) const { return i >= 0 && i < rowCount(); }
    const SiteEntry& row(int i) const { return rows_.at(static_cast<size_t>(i)); }

    void setRow(int i, const SiteEntry& entry);
    void insertAtTop(const SiteEntry& entry);
    // Inserts the entries one after the other at the top, as a load does:
    // the last entry of `entries` ends up at index 0. One reset for all.
    void insertAllAtTop(const std::vector<SiteEntry>& entries);
    void removeRow(int i);
    void clear();
    void reverseRows();

    // Sorts by column c ascending (unsigned byte order, stable). When the
    // column is already ascending, all equal, or there are fewer than two
    // rows, the rows are reversed instead. Returns true when it sorted.
    bool sortByColumn(int c);

    // Index of the first row whose title, URL and test string equal these.
    int findDuplicate(const SiteEntry& entry) const;

    // Watching the rows does not change them: a view may watch a list it
    // can only read.
    void setObserver(SiteListObserver* observer) const { observer_ = observer; }

private:
    std::deque<SiteEntry> rows_;
    mutable SiteListObserver* observer_ = nullptr;
};

} // namespace vantrel
