#include "model/SiteListFile.h"

#include "model/KeyValueLines.h"
#include "model/KeyValueWriter.h"
#include "model/SiteOptionKeys.h"

namespace vantrel {

std::string SiteListFile::serialize(const SiteList& list) {
    const int n = list.rowCount();
    if (n == 0)
        return {};
    size_t estimate = 32;
    for (int i = 0; i < n; ++i) {
        const SiteEntry& e = list.row(i);
        estimate += 80 + e.title.size() + e.url.size() + e.testString.size() + e.createDate.size() +
                    e.checkDate.size() + e.errorUrl.size() + e.action.size() + e.status.size();
    }
    KeyValueWriter out(estimate);
    // Bottom row first, so that a reader inserting each record at the top
    // rebuilds the display order.
    for (int i = n - 1; i >= 0; --i) {
        const SiteEntry& e = list.row(i);
        out.line("ST", e.title);
        out.line("URL", e.url);
        out.line("TESTSTRING", e.testString);
        out.line("CREATE", e.createDate);
        out.line("CHECK", e.checkDate);
        out.line("URLEMAIL", e.errorUrl);
        out.line("ACTION", e.action);
        out.line("STATUS", e.status);
        SiteOptionKeys::write(e.options, out);
        out.lineEnd();
    }
    return out.take();
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
