#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vantrel {

class FolderLink;
struct FolderReply;
struct FolderRequest;
class HttpClient;

// The commands of the command line, after the program's name:
//   check URL [options]             one check as a monitoring plugin
//   list [--json | --csv]           the sites and their states
//   add TITLE URL [TEXT]            a site at the top of the list
//   remove TITLE|URL                the one site with that title or URL
//   check-now [TITLE|URL]           check the sites (or one) now
//   import [--dry-run] FILE         sites from an export, CSV, URLs, bookmarks
//   export [FILE]                   the list and settings as JSON
//   export-history [FILE]           the check history as CSV or JSON
// The folder is the current directory. A running instance there gets the
// commands over its socket, so its window shows the change; without one the
// files are changed under the folder's lock. Exit statuses are those of
// FolderReply, or the plugin states for check.
class CommandRunner {
public:
    CommandRunner(FolderLink& link, std::ostream& out, std::ostream& err);

    // Whether `word` (the first argument) names a command.
    static bool isCommand(const std::string& word);

    // `args` starts with the command's name. Returns the exit status.
    int run(const std::vector<std::string>& args);

    // The check command's HTTP client (tests); none: the program's own.
    void setHttpClient(HttpClient* http) { http_ = http; }

private:
    int check(const std::vector<std::string>& args);
    int list(bool json, bool csv);
    int edit(const FolderRequest& request, int waitSeconds);
    int import(const std::string& file, bool dryRun, const std::string& folder, const std::string& action);
    int exportList(const std::string& file);
    // The sites of the folder: the running instance's, else the file's.
    bool currentSites(class SiteList& list, std::string& why);
    int print(const FolderReply& reply, bool table);

    FolderLink& link_;
    std::ostream& out_;
    std::ostream& err_;
    HttpClient* http_ = nullptr;
};

} // namespace vantrel
