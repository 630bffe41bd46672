#include "cli/HistoryExportCommand.h"

#include "cli/FolderRequest.h"
#include "cli/HistoryExport.h"
#include "history/SqliteCheckHistory.h"
#include "model/DataFile.h"
#include "model/SystemClock.h"

#include <climits>
#include <cstdio>
#include <ctime>
#include <optional>
#include <ostream>
#include <sstream>
#include <unistd.h>

namespace vantrel {

namespace {

// Local midnight of "YYYY-MM-DD".
std::optional<std::time_t> dayStart(const std::string& text) {
    std::tm tm{};
    int y = 0, m = 0, d = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &extra) != 3 || m < 1 || m > 12 || d < 1 ||
        d > 31)
        return std::nullopt;
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == -1 || tm.tm_mday != d)
        return std::nullopt;
    return t;
}

} // namespace

int HistoryExportCommand::run(const std::string& file, bool json, const std::string& from,
                              const std::string& to, std::ostream& out, std::ostream& err) {
    std::time_t start = 0, end = static_cast<std::time_t>(LLONG_MAX / 2);
    if (!from.empty()) {
        const std::optional<std::time_t> t = dayStart(from);
        if (!t) {
            err << "vantrel export-history: --from is not a date YYYY-MM-DD: " << from << "\n";
            return FolderReply::kUsage;
        }
        start = *t;
    }
    if (!to.empty()) {
        const std::optional<std::time_t> t = dayStart(to);
        if (!t) {
            err << "vantrel export-history: --to is not a date YYYY-MM-DD: " << to << "\n";
            return FolderReply::kUsage;
        }
        std::tm tm{};
        localtime_r(&*t, &tm);
        tm.tm_mday += 1; // up to the end of that day
        tm.tm_isdst = -1;
        end = std::mktime(&tm);
    }
    if (::access(SqliteCheckHistory::kFileName, R_OK) != 0) {
        err << "vantrel export-history: no history here (" << SqliteCheckHistory::kFileName << ")\n";
        return FolderReply::kFailed;
    }
    // Opened to read: with these bounds nothing is dropped or made smaller.
    SystemClock clock;
    SqliteCheckHistory history(SqliteCheckHistory::kFileName, INT_MAX / 2, LLONG_MAX / 4, clock);
    std::ostringstream text;
    const long long n =
        history.available()
            ? HistoryExport::write(history, start, end,
                                   json ? HistoryExport::Format::Json : HistoryExport::Format::Csv, text)
            : -1;
    if (n < 0) {
        err << "vantrel export-history: cannot read the history: " << history.problem() << "\n";
        return FolderReply::kFailed;
    }
    if (file == "-") {
        out << text.str();
        return FolderReply::kDone;
    }
    if (!DataFile::save(file, text.str())) {
        err << "vantrel export-history: cannot write " << file << "\n";
        return FolderReply::kFailed;
    }
    out << "Exported " << n << (n == 1 ? " check" : " checks") << " to " << file << ".\n";
    return FolderReply::kDone;
}

} // namespace vantrel
