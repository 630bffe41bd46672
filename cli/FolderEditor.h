#pragma once

#include "cli/FolderRequest.h"
#include "model/SiteListEdit.h"

#include <string>
#include <vector>

namespace vantrel {

class SiteList;

// The changes the folder commands make to a site list, the same whether a
// running instance makes them to its rows or the command line to the rows
// of the file: add one site at the top, remove the one site a title or URL
// names, add an import's new sites. Nothing here reads or writes a file.
class FolderEditor {
public:
    // The action a site added from the command line gets unless one is named:
    // the one alert that needs no settings.
    static constexpr const char* kDefaultAction = "Sound";

    // `today` is the creation date of added sites ("%d %b %Y").
    static FolderReply add(SiteList& list, const FolderRequest& request, const std::string& today);
    static FolderReply remove(SiteList& list, const std::string& target);
    // Adds the sites whose URL is not in the list yet, above the others, in
    // their order.
    static FolderReply addSites(SiteList& list, const std::vector<SiteEntry>& sites);
    // The same, decided only: `edit` is the change to make to `list` (none
    // unless the reply is kDone), for an owner that makes it itself.
    static FolderReply add(const SiteList& list, const FolderRequest& request, const std::string& today,
                           SiteListEdit& edit);
    static FolderReply remove(const SiteList& list, const std::string& target, SiteListEdit& edit);
    static FolderReply addSites(const SiteList& list, const std::vector<SiteEntry>& sites,
                                SiteListEdit& edit);
    // The rows whose title or URL is `target`; every row for an empty one.
    static std::vector<bool> rowsNamed(const SiteList& list, const std::string& target);
    static std::vector<SiteEntry> rows(const SiteList& list);
    // The rows marked in `rows`.
    static std::vector<SiteEntry> rows(const SiteList& list, const std::vector<bool>& marked);

    // Whether `action` is one of the actions the window offers.
    static bool knownAction(const std::string& action);
};

} // namespace vantrel
