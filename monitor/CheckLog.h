#pragma once

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

    explicit CheckLog(MonitorView& view);

    // Appends `record` as it is, with each "\n" written as CR LF and no line
    // end added. When the file cannot be opened (a missing folder is not
    // created) the error box is shown and nothing is written.
    void writeLogRecord(const Settings& settings, const std::string& record);

private:
    MonitorView& view_;
};

} // namespace vantrel
