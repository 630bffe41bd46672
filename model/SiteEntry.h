#pragma once

#include <string>

namespace vantrel {

// One watched site: eight texts, in the order of the list columns and of a
// record in the site list file. Texts are bytes; nothing here interprets them.
struct SiteEntry {
    std::string title;
    std::string url;
    std::string testString;
    std::string action;
    std::string errorUrl;
    std::string createDate;
    std::string checkDate;
    std::string status;

    static constexpr int kColumnCount = 8;

    // Column c (0..7) of the list view, in the field order above.
    std::string& column(int c);
    const std::string& column(int c) const;

    void clear() { *this = SiteEntry{}; }
    bool operator==(const SiteEntry&) const = default;
};

} // namespace vantrel
