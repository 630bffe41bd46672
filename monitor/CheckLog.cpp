#include "monitor/CheckLog.h"

#include "model/Settings.h"
#include "monitor/MonitorView.h"

#include <cstdio>

namespace vantrel {

CheckLog::CheckLog(MonitorView& view) : view_(view) {}

void CheckLog::writeLogRecord(const Settings& settings, const std::string& record) {
    const std::string name = settings.logFile.empty() ? kDefaultFileName : settings.logFile;
    std::FILE* file = std::fopen(name.c_str(), "ab");
    if (!file) {
        view_.messageBox(kOpenErrorText, kOpenErrorCaption);
        return;
    }
    std::string bytes;
    bytes.reserve(record.size() + 4);
    for (char c : record) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

} // namespace vantrel
