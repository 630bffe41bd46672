#pragma once

#include "model/SiteEntry.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>

namespace vantrel {

class SiteList;

// The widest cell text of each list column, kept up to date as rows come and
// go, so that sizing the columns after an added, removed or changed row
// costs one measurement instead of one per cell. Text widths are cached by
// content, so a sort or reload measures only texts it has not seen.
class ColumnWidths {
public:
    using Measure = std::function<int(const std::string&)>;

    void setMeasure(Measure measure);
    int widest(int column) const;

    void rebuild(const SiteList& list);
    void rowsInserted(const SiteList& list, int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsChanged(const SiteList& list, int first, int last);

private:
    using RowWidths = std::array<int, SiteEntry::kColumnCount>;
    int measure(const std::string& text);
    RowWidths measureRow(const SiteEntry& entry);
    void count(const RowWidths& widths, int delta);

    Measure measure_;
    std::unordered_map<std::string, int> cache_;
    size_t rowHint_ = 0; // the most rows seen: the cache may hold a few texts per cell
    std::deque<RowWidths> rows_;
    std::array<std::map<int, int>, SiteEntry::kColumnCount> counts_; // width -> number of cells
};

} // namespace vantrel
