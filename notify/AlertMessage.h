#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// One alert as the chat and push channels send it: a site that went down,
// came back, became slow or is still down. Every field is text ready to
// show; fields that do not apply are empty.
struct AlertMessage {
    std::string title;     // the site's title
    std::string url;       // the site's URL
    std::string state;     // "down", "up", "slow" or "still down"
    std::string reason;    // why it failed, in words
    std::string time;      // when this check ran: "10 Dec 2026 07:58:22"
    std::string downSince; // when the site went down
    std::string duration;  // how long it has been down: "2 h 10 min"
    std::string lastGood;  // the last check that found it good
    std::string page;      // the first characters of what the server sent, as plain text

    // The headline: "Vantrel: Shop is down", "Vantrel: Shop still down for 2 h 10 min".
    std::string headline() const;
    // The whole text: the headline, the URL and every explaining line that
    // has a value, each line ending in "\n". Every field stays on its line:
    // its control characters become blanks and bytes that are not UTF-8
    // become U+FFFD.
    std::string text() const;

    static std::string oneLine(std::string_view value);

    bool operator==(const AlertMessage&) const = default;
};

} // namespace vantrel
