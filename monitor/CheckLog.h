#pragma once

#include "monitor/WriteFailureNotice.h"

#include <string>

namespace vantrel {

class MonitorView;
struct Settings;

// The log of every site check: records are appended to the file named by the
// LOGFILE setting, or to "vantrel.log" when it is empty. The file is opened
// and closed for each record, never read, truncated or rotated.
class CheckLog {
public:
    static constexpr const char* kDefaultFileName = "vantrel.log";
    static constexpr const char* kOpenErrorText = "Could not write to log file";
    static constexpr const char* kOpenErrorCaption = "Error Log";
    // Records kept for the next write while writing fails (a full disk);
    // beyond this the oldest are dropped.
    static constexpr size_t kMaxPendingBytes = 1 << 20;

    explicit CheckLog(MonitorView& view);

    // Appends `record` as it is, with each "\n" written as CR LF and no line
    // end added. When the file cannot be opened (a missing folder is not
    // created, nor a new file in a folder without write permission bits)
    // the error box is shown and nothing is written. When writing fails
    // (a full disk), the part written is taken back, the record is kept and
    // written before the next one, and the user is told once, and once more
    // when writing works again.
    void writeLogRecord(const Settings& settings, const std::string& record);

private:
    MonitorView& view_;
    WriteFailureNotice notice_;
    std::string pending_; // records whose write failed, in CR LF form
};

} // namespace vantrel
