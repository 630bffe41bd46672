#pragma once

#include "model/SiteList.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The export of a folder as one JSON document:
//   {"format": "vantrel-export", "schemaVersion": 1, "exported": "...",
//    "sites": [ SiteJson, ... top row first ],
//    "settings": {"vantrel.ini": {KEY: value}, "vantrel-extra.ini": {KEY: value}}}
// The settings are the KEY=value lines of the two files as they are, except
// anything that could be a secret: keys naming a password, token or secret
// (the names of files that hold one stay), and the user name and password
// part of URLs.
class ExportDocument {
public:
    static constexpr int kSchemaVersion = 1;

    static std::string write(const SiteList& list, std::string_view settingsFile, std::string_view extraFile,
                             std::time_t now);

    // A setting's value with any secret removed; nullopt when the whole
    // setting is left out.
    static std::optional<std::string> withoutSecret(std::string_view key, std::string_view value);
};

} // namespace vantrel
