#include "ui/ColumnWidths.h"

#include "model/SiteList.h"

#include <algorithm>

namespace vantrel {

void ColumnWidths::setMeasure(Measure measure) {
    measure_ = std::move(measure);
    cache_.clear();
}

int ColumnWidths::widest(int column) const {
    const auto& c = counts_.at(static_cast<size_t>(column));
    return c.empty() ? 0 : c.rbegin()->first;
}

int ColumnWidths::measure(const std::string& text) {
    if (text.empty() || !measure_)
        return 0;
    if (auto it = cache_.find(text); it != cache_.end())
        return it->second;
    // Check dates change with every pass; keep the cache from growing without end.
    if (cache_.size() > 8 * rowHint_ + 4096)
        cache_.clear();
    const int w = measure_(text);
    cache_.emplace(text, w);
    return w;
}

ColumnWidths::RowWidths ColumnWidths::measureRow(const SiteEntry& entry) {
    RowWidths w{};
    for (int c = 0; c < SiteEntry::kColumnCount; ++c)
        w[static_cast<size_t>(c)] = measure(entry.column(c));
    return w;
}

void ColumnWidths::count(const RowWidths& widths, int delta) {
    for (size_t c = 0; c < widths.size(); ++c) {
        auto& counts = counts_[c];
        auto it = counts.emplace(widths[c], 0).first;
        it->second += delta;
        if (it->second <= 0)
            counts.erase(it);
    }
}

void ColumnWidths::rebuild(const SiteList& list) {
    rowHint_ = static_cast<size_t>(list.rowCount());
    rows_.clear();
    for (auto& c : counts_)
        c.clear();
    for (int i = 0; i < list.rowCount(); ++i) {
        rows_.push_back(measureRow(list.row(i)));
        count(rows_.back(), +1);
    }
}

void ColumnWidths::rowsInserted(const SiteList& list, int first, int last) {
    rowHint_ = std::max(rowHint_, static_cast<size_t>(list.rowCount()));
    for (int i = first; i <= last; ++i) {
        rows_.insert(rows_.begin() + i, measureRow(list.row(i)));
        count(rows_[static_cast<size_t>(i)], +1);
    }
}

void ColumnWidths::rowsAboutToBeRemoved(int first, int last) {
    for (int i = last; i >= first; --i) {
        if (i < 0 || i >= static_cast<int>(rows_.size()))
            continue;
        count(rows_[static_cast<size_t>(i)], -1);
        rows_.erase(rows_.begin() + i);
    }
}

void ColumnWidths::rowsChanged(const SiteList& list, int first, int last) {
    for (int i = first; i <= last && i < static_cast<int>(rows_.size()); ++i) {
        count(rows_[static_cast<size_t>(i)], -1);
        rows_[static_cast<size_t>(i)] = measureRow(list.row(i));
        count(rows_[static_cast<size_t>(i)], +1);
    }
}

} // namespace vantrel
