#pragma once

#include "cli/ImportReader.h"

#include <string>
#include <vector>

namespace vantrel {

class SiteList;

// What an import would do to a list: each row of the file is new, already
// present (a row of the list, or an earlier row of the file, has the same
// URL) or invalid, with the reason. Applying it adds the new rows above the
// existing ones, in the file's order; no existing row is changed, dropped or
// moved.
class ImportPlan {
public:
    enum class Kind { New, Present, Invalid };
    struct Item {
        Kind kind = Kind::New;
        ImportReader::Row row;
        std::string reason; // Present and Invalid: why
    };

    // `folder` limits bookmarks to one folder (and its subfolders); empty: all.
    // New sites without an action get `action`; all get `today` as their
    // creation date and the status "New".
    static ImportPlan make(const ImportReader::Result& file, const SiteList& list, const std::string& folder,
                           const std::string& action, const std::string& today);

    const std::vector<Item>& items() const { return items_; }
    int count(Kind kind) const;

    // The new rows in the order SiteList::insertAllAtTop takes them, so the
    // file's first ends up on top.
    std::vector<SiteEntry> newSites() const;

    // One line per row ("new", "present", "invalid" with the line and the
    // reason) and a summary line, for the command line.
    std::string report() const;

    static const char* kindName(Kind kind);

private:
    std::vector<Item> items_;
};

} // namespace vantrel
