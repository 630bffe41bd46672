#include "model/SettingsFile.h"

#include "model/KeyValueLines.h"
#include "model/KeyValueWriter.h"
#include "model/TextUtil.h"

namespace vantrel {

std::string SettingsFile::serialize(const Settings& s) {
    KeyValueWriter out(256);
    out.line("YOURNAME", s.yourName);
    out.line("YOUREMAIL", s.yourEmail);
    out.line("EMAIL1", s.email1);
    out.line("EMAIL2", s.email2);
    out.line("LOGFILE", s.logFile);
    out.line("ERRORSOUND", s.errorSound);
    out.line("NOTIFY", s.notify);
    out.line("INTERVAL", s.interval);
    out.line("SMTPSERVER", s.smtpServer);
    out.line("TOOLTIPS", s.toolTips);
    out.line("MONITOR", s.monitor);
    out.line("EVERYERROR", s.everyError);
    out.lineEnd();
    out.lineEnd();
    return out.take();
}

int SettingsFile::parse(std::string_view bytes, Settings& s) {
    int known = 0;
    KeyValueLines::forEach(bytes, [&s, &known](std::string_view key, std::string_view rawValue) {
        std::string* field = nullptr;
        if (key == "YOURNAME")
            field = &s.yourName;
        else if (key == "YOUREMAIL")
            field = &s.yourEmail;
        else if (key == "EMAIL1")
            field = &s.email1;
        else if (key == "EMAIL2")
            field = &s.email2;
        else if (key == "LOGFILE")
            field = &s.logFile;
        else if (key == "ERRORSOUND")
            field = &s.errorSound;
        else if (key == "NOTIFY")
            field = &s.notify;
        else if (key == "TOOLTIPS")
            field = &s.toolTips;
        else if (key == "INTERVAL")
            field = &s.interval;
        else if (key == "SMTPSERVER")
            field = &s.smtpServer;
        else if (key == "MONITOR")
            field = &s.monitor;
        else if (key == "EVERYERROR")
            field = &s.everyError;
        if (field) {
            *field = text::removeAll(rawValue, "=");
            ++known;
        }
    });
    return known;
}

} // namespace vantrel
