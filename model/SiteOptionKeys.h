#pragma once

#include "model/SiteOptions.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class KeyValueWriter;

// The file keys of the site options: one row per key, naming the text of
// SiteOptions it holds. A key with `lines` set may come several times in a
// record, one line per value. Adding an option is adding its text to
// SiteOptions and its row to the table.
struct SiteOptionKey {
    const char* key;
    std::string SiteOptions::*text = nullptr;
    std::vector<std::string> SiteOptions::*lines = nullptr;
    // False for a key that does not change how the site is checked.
    bool check = true;
};

class SiteOptionKeys {
public:
    static std::span<const SiteOptionKey> table();

    // Takes one line of a record: an option key sets its text (or adds a
    // line); any other key that looks like one a later version would write
    // (capital letters, digits and "_") is kept as unknown. Returns false for
    // lines it leaves alone.
    static bool read(SiteOptions& options, std::string_view key, std::string_view value);

    // Writes a line KEY=value for every option not at its default, in table
    // order, then the unknown keys as they came.
    static void write(const SiteOptions& options, KeyValueWriter& out);
};

} // namespace vantrel
