#pragma once

#include "model/SiteEntry.h"
#include "model/SiteList.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The site list file "vantrel.dat": a header line, then one record of eight
// KEY=value lines per row, bottom row first, CR LF line ends. The options a
// site has beyond its defaults follow its eight lines as extra keys
// (SiteOptionKeys), so a list without options is what it always was.
class SiteListFile {
public:
    static constexpr const char* kFileName = "vantrel.dat";

    // The file's bytes for `list`: empty (zero bytes) for an empty list.
    static std::string serialize(const SiteList& list);

    // Parses the file's bytes into records in file order. `entry` is the
    // working entry the reader fills; a key missing from a record keeps the
    // value it had in the record before (or in `entry` as given); the
    // options start empty at each "ST" line. Records without a title or a
    // URL are dropped. On return `entry` holds what the
    // reader left in it.
    static std::vector<SiteEntry> parse(std::string_view bytes, SiteEntry& entry);
};

} // namespace vantrel
