#pragma once

#include <string>

namespace vantrel {

// The user's preferences. Every field is text and is interpreted where it is
// used ("yes"/"no" switches, INTERVAL read like atoi). addToStartup lives in
// memory only and never reaches the settings file.
struct Settings {
    std::string yourName;
    std::string yourEmail;
    std::string email1;
    std::string email2;
    std::string logFile;
    std::string errorSound;
    std::string notify;
    std::string interval;
    std::string smtpServer;
    std::string toolTips;
    std::string monitor;
    std::string everyError;
    std::string addToStartup;

    bool operator==(const Settings&) const = default;
};

} // namespace vantrel
