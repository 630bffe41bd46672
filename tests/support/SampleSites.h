#pragma once

#include "model/SiteEntry.h"

#include <string>
#include <vector>

namespace vantrel::test {

// `count` full site rows, top row first, for tests and benchmarks of large
// lists; `tag` is appended to each row's check date and status.
inline std::vector<SiteEntry> sampleSites(int count, const std::string& tag = "") {
    std::vector<SiteEntry> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        rows.push_back(SiteEntry{"Site " + n, "http://site" + n + ".example.org/index.html", "Welcome",
                                 "Email / URL / Sound",
                                 "http://alerts.example.org/POST /notify $HTTPsite=" + n, "01 Dec 2026",
                                 "08 Dec 2026 01:23:45" + (tag.empty() ? "" : " " + tag),
                                 (i % 3 ? "OK" : "404") + (tag.empty() ? std::string() : " " + tag)});
    }
    return rows;
}

} // namespace vantrel::test
