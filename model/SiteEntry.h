#pragma once

#include "model/SiteOptions.h"

#include <string>
#include <utility>

namespace vantrel {

// One watched site: eight texts, in the order of the list columns and of a
// record in the site list file, then its options (extra keys of the record,
// all empty by default). Texts are bytes; nothing here interprets them.
struct SiteEntry {
    SiteEntry() = default;
    // The eight fields in their order; no options.
    SiteEntry(std::string title, std::string url, std::string testString, std::string action,
              std::string errorUrl, std::string createDate, std::string checkDate, std::string status)
        : title(std::move(title)), url(std::move(url)), testString(std::move(testString)),
          action(std::move(action)), errorUrl(std::move(errorUrl)), createDate(std::move(createDate)),
          checkDate(std::move(checkDate)), status(std::move(status)) {}

    std::string title;
    std::string url;
    std::string testString;
    std::string action;
    std::string errorUrl;
    std::string createDate;
    std::string checkDate;
    std::string status;
    SiteOptions options;
    // Why the last check in this run failed or was slow, in words; empty
    // after a good check. Shown beside the status, never saved.
    std::string reason;

    static constexpr int kColumnCount = 8;

    // Column c (0..7) of the list view, in the field order above.
    std::string& column(int c);
    const std::string& column(int c) const;

    void clear() { *this = SiteEntry{}; }
    bool operator==(const SiteEntry&) const = default;
};

} // namespace vantrel
