#include "cli/ImportPlan.h"

#include "model/SiteList.h"

#include <map>

namespace vantrel {

const char* ImportPlan::kindName(Kind kind) {
    switch (kind) {
    case Kind::New:
        return "new";
    case Kind::Present:
        return "present";
    case Kind::Invalid:
        break;
    }
    return "invalid";
}

ImportPlan ImportPlan::make(const ImportReader::Result& file, const SiteList& list, const std::string& folder,
                            const std::string& action, const std::string& today) {
    ImportPlan plan;
    std::map<std::string, int> seen; // URL -> 0 for the list, else the file's line
    for (int i = 0; i < list.rowCount(); ++i)
        seen.emplace(list.row(i).url, 0);
    for (const ImportReader::Row& row : file.rows) {
        if (file.format == ImportReader::Format::Bookmarks && !ImportReader::inFolder(row.folder, folder))
            continue;
        Item item;
        item.row = row;
        if (!row.invalid.empty()) {
            item.kind = Kind::Invalid;
            item.reason = row.invalid;
        } else if (const auto it = seen.find(row.site.url); it != seen.end()) {
            item.kind = Kind::Present;
            item.reason =
                it->second == 0 ? "in the list" : "line " + std::to_string(it->second) + " of this file";
        } else {
            item.kind = Kind::New;
            seen.emplace(row.site.url, row.line);
            SiteEntry& site = item.row.site;
            if (site.action.empty())
                site.action = action;
            site.createDate = today;
            site.checkDate.clear();
            site.status = "New";
        }
        plan.items_.push_back(std::move(item));
    }
    return plan;
}

int ImportPlan::count(Kind kind) const {
    int n = 0;
    for (const Item& item : items_)
        n += item.kind == kind;
    return n;
}

std::vector<SiteEntry> ImportPlan::newSites() const {
    std::vector<SiteEntry> added;
    for (auto it = items_.rbegin(); it != items_.rend(); ++it)
        if (it->kind == Kind::New)
            added.push_back(it->row.site);
    return added;
}

std::string ImportPlan::report() const {
    std::string out;
    for (const Item& item : items_) {
        out += kindName(item.kind);
        out +=
            "\tline " + std::to_string(item.row.line) + "\t" + item.row.site.title + "\t" + item.row.site.url;
        if (!item.reason.empty())
            out += "\t" + item.reason;
        out += "\n";
    }
    out += std::to_string(count(Kind::New)) + " new, " + std::to_string(count(Kind::Present)) +
           " already present, " + std::to_string(count(Kind::Invalid)) + " invalid\n";
    return out;
}

} // namespace vantrel
