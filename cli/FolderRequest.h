#pragma once

#include "model/SiteEntry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A command on a folder's sites, as it travels to a running instance over
// its local socket: one line "command " followed by a JSON object, which
// carries the version of this little protocol ("v"). The instance answers
// with one line, a FolderReply. A request of a later version is refused
// with a reply that names the versions understood.
struct FolderRequest {
    static constexpr int kVersion = 1;
    static constexpr std::string_view kLinePrefix = "command ";

    std::string command;                  // "list", "add", "remove", "check-now", "add-sites"
    std::string title, url, text, action; // add
    std::string target;                   // remove, check-now: a title or URL; check-now: empty for all
    std::vector<SiteEntry> sites;         // add-sites (an import's new rows)

    std::string toLine() const;
    static std::optional<FolderRequest> fromLine(std::string_view line, std::string& why);
};

struct FolderReply {
    // Exit statuses of the folder commands.
    static constexpr int kDone = 0;
    static constexpr int kRefused = 1; // nothing changed: not found, already there, not valid
    static constexpr int kUsage = 2;
    static constexpr int kFailed = 3; // files or the instance could not be read or written
    static constexpr int kBusy = 4;   // a check pass runs: try again shortly (never an exit status)

    int status = kDone;
    std::string message;          // one line for the user
    std::vector<SiteEntry> sites; // list, check-now: the sites concerned

    std::string toLine() const;
    static std::optional<FolderReply> fromLine(std::string_view line, std::string& why);
};

} // namespace vantrel
