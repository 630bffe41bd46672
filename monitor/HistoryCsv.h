#pragma once

#include "monitor/CheckHistory.h"

#include <string>

namespace vantrel {

// The check history as CSV (RFC 4180): a header line, then one line per
// check, CR LF line ends; times as local "YYYY-MM-DD HH:MM:SS" and as Unix
// seconds; values not reported are empty.
class HistoryCsv {
public:
    static std::string header();
    static std::string line(const CheckRecord& record);
    static std::string field(const std::string& text); // quoted where needed
};

} // namespace vantrel
