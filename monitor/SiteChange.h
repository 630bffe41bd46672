#pragma once

#include <string>
#include <utility>

namespace vantrel {

// A site whose state changed in a check pass: it failed or became slow after
// being good (or new), or it checked good again after a failure or being slow.
struct SiteChange {
    SiteChange() = default;
    SiteChange(std::string title, std::string url, std::string status, bool recovered,
               std::string reason = {})
        : title(std::move(title)), url(std::move(url)), status(std::move(status)), recovered(recovered),
          reason(std::move(reason)) {}

    std::string title;
    std::string url;
    std::string status; // the status it has now
    bool recovered = false;
    std::string reason; // why it failed or is slow, in words; empty when recovered

    bool operator==(const SiteChange&) const = default;
};

} // namespace vantrel
