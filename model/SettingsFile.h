#pragma once

#include "model/Settings.h"

#include <string>
#include <string_view>

namespace vantrel {

// The settings file "vantrel.ini": a header line, twelve KEY=value lines in a
// fixed order and an empty last line, CR LF line ends.
class SettingsFile {
public:
    static constexpr const char* kFileName = "vantrel.ini";

    static std::string serialize(const Settings& settings);

    // Fills the fields whose keys the text holds; others keep their values.
    // Every "=" after the first is dropped from a value. Returns how many
    // lines held a known key.
    static int parse(std::string_view bytes, Settings& settings);
};

} // namespace vantrel
