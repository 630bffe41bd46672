#pragma once

#include "cli/FolderRequest.h"

#include <iosfwd>
#include <string>

namespace vantrel {

class SiteList;

// The folder commands on the files in the current directory, for when no
// instance runs there. The caller holds the folder's lock for every command
// but a read. Changes are written with the program's safe save; a site list
// file that holds bytes but no site this program can read is never written.
class LocalFolder {
public:
    // Reads vantrel.dat into `list` without creating or changing any file
    // (a missing file is an empty list). False, with `why`, when it cannot
    // be read or holds nothing readable.
    static bool readSites(SiteList& list, std::string& why);

    // Runs `request` (add, remove, add-sites, check-now) on the files.
    // check-now runs a check pass over the named sites with every effect of
    // one (log, history, alerts) and stores their new states. Messages of
    // the engine go to `err`.
    static FolderReply run(const FolderRequest& request, const std::string& today, std::ostream& err);

private:
    static FolderReply checkNow(const std::string& target, std::ostream& err);
};

} // namespace vantrel
