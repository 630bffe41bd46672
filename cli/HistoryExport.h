#pragma once

#include "monitor/CheckHistory.h"

#include <ctime>
#include <iosfwd>

namespace vantrel {

// The checks of every site from `from` up to, not including, `to` (Unix
// seconds), oldest first, as CSV (HistoryCsv) or as a JSON array of one
// object per check with the CSV's columns as names.
class HistoryExport {
public:
    enum class Format { Csv, Json };
    // Returns how many checks were written; -1 when the history cannot be read.
    static long long write(CheckHistory& history, std::time_t from, std::time_t to, Format format,
                           std::ostream& out);
};

} // namespace vantrel
