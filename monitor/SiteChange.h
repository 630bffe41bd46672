#pragma once

#include <string>

namespace vantrel {

// A site whose state changed in a check pass: it failed after being good (or
// new), or it checked good again after a failure.
struct SiteChange {
    std::string title;
    std::string url;
    std::string status; // the status it has now
    bool recovered = false;

    bool operator==(const SiteChange&) const = default;
};

} // namespace vantrel
