#include "model/SiteListFile.h"

#include "model/KeyValueLines.h"
#include "model/SiteOptionKeys.h"

namespace vantrel {

std::string SiteListFile::serialize(const SiteList& list) {
    std::string out;
    const int n = list.rowCount();
    if (n == 0)
        return out;
    size_t estimate = 32;
    for (int i = 0; i < n; ++i) {
        const SiteEntry& e = list.row(i);
        estimate += 80 + e.title.size() + e.url.size() + e.testString.size() + e.createDate.size() +
                    e.checkDate.size() + e.errorUrl.size() + e.action.size() + e.status.size();
    }
    out.reserve(estimate);
    out += "CREATOR=Vantrel 1.0";
    // Bottom row first, so that a reader inserting each record at the top
    // rebuilds the display order.
    for (int i = n - 1; i >= 0; --i) {
        const SiteEntry& e = list.row(i);
        out += "\r\nST=";
        out += e.title;
        out += "\r\nURL=";
        out += e.url;
        out += "\r\nTESTSTRING=";
        out += e.testString;
        out += "\r\nCREATE=";
        out += e.createDate;
        out += "\r\nCHECK=";
        out += e.checkDate;
        out += "\r\nURLEMAIL=";
        out += e.errorUrl;
        out += "\r\nACTION=";
        out += e.action;
        out += "\r\nSTATUS=";
        out += e.status;
        SiteOptionKeys::write(e.options, out);
        out += "\r\n";
    }
    return out;
}

std::vector<SiteEntry> SiteListFile::parse(std::string_view bytes, SiteEntry& entry) {
    std::vector<SiteEntry> records;
    auto appendLoaded = [&] {
        if (!entry.title.empty() && !entry.url.empty())
            records.push_back(entry);
    };
    bool firstLine = true;
    KeyValueLines::forEach(bytes, [&](std::string_view key, std::string_view value) {
        if (key == "ST") {
            if (!firstLine && !entry.title.empty())
                appendLoaded();
            entry.title.assign(value);
            // Options belong to their record alone; the eight fields carry over.
            entry.options = SiteOptions{};
            entry.reason.clear();
        } else if (key == "URL") {
            entry.url.assign(value);
        } else if (key == "TESTSTRING") {
            entry.testString.assign(value);
        } else if (key == "CREATE") {
            entry.createDate.assign(value);
        } else if (key == "CHECK") {
            entry.checkDate.assign(value);
        } else if (key == "URLEMAIL") {
            entry.errorUrl.assign(value);
        } else if (key == "ACTION") {
            entry.action.assign(value);
        } else if (key == "STATUS") {
            entry.status.assign(value);
        } else {
            SiteOptionKeys::read(entry.options, key, value);
        }
        firstLine = false;
    });
    if (!entry.title.empty())
        appendLoaded();
    return records;
}

} // namespace vantrel
