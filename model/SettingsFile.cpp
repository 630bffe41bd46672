#include "model/SettingsFile.h"

#include "model/KeyValueLines.h"
#include "model/TextUtil.h"

namespace vantrel {

std::string SettingsFile::serialize(const Settings& s) {
    std::string out = "CREATOR=Vantrel 1.0";
    auto line = [&out](const char* key, const std::string& value) {
        out += "\r\n";
        out += key;
        out += '=';
        out += value;
    };
    line("YOURNAME", s.yourName);
    line("YOUREMAIL", s.yourEmail);
    line("EMAIL1", s.email1);
    line("EMAIL2", s.email2);
    line("LOGFILE", s.logFile);
    line("ERRORSOUND", s.errorSound);
    line("NOTIFY", s.notify);
    line("INTERVAL", s.interval);
    line("SMTPSERVER", s.smtpServer);
    line("TOOLTIPS", s.toolTips);
    line("MONITOR", s.monitor);
    line("EVERYERROR", s.everyError);
    out += "\r\n\r\n";
    return out;
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
