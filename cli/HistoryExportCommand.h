#pragma once

#include <iosfwd>
#include <string>

namespace vantrel {

// The export-history command: the folder's check history from day `from` to
// the end of day `to` (both "YYYY-MM-DD", empty for no bound) as CSV or JSON,
// to `file` or to standard output for "-". Returns the exit status.
class HistoryExportCommand {
public:
    static int run(const std::string& file, bool json, const std::string& from, const std::string& to,
                   std::ostream& out, std::ostream& err);
};

} // namespace vantrel
