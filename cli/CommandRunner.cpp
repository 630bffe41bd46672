#include "cli/CommandRunner.h"

#include "cli/CheckCommand.h"
#include "cli/ExportDocument.h"
#include "cli/FolderEditor.h"
#include "cli/FolderLink.h"
#include "cli/HistoryExportCommand.h"
#include "cli/ImportPlan.h"
#include "cli/LocalFolder.h"
#include "cli/SiteListText.h"
#include "model/DataFile.h"
#include "model/DateText.h"
#include "model/ExtraSettingsFile.h"
#include "model/SettingsFile.h"
#include "model/SiteList.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace vantrel {

namespace {

constexpr const char* kCommands[] = {"check",     "list",   "add",    "remove",
                                     "check-now", "import", "export", "export-history"};

// How long an edit waits for a running instance's pass to end.
constexpr int kDefaultWaitSeconds = 60;
// How long check-now waits for the instance's pass to finish.
constexpr int kCheckNowWaitSeconds = 900;

std::optional<std::string> readInput(const std::string& file) {
    std::string bytes;
    if (file == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return bytes;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

std::string readIfThere(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string today() {
    return DateText::date(std::time(nullptr));
}

} // namespace

CommandRunner::CommandRunner(FolderLink& link, std::ostream& out, std::ostream& err)
    : link_(link), out_(out), err_(err) {}

bool CommandRunner::isCommand(const std::string& word) {
    return std::find(std::begin(kCommands), std::end(kCommands), word) != std::end(kCommands);
}

int CommandRunner::run(const std::vector<std::string>& args) {
    if (args.empty() || !isCommand(args.front()))
        return FolderReply::kUsage;
    if (args.front() == "check")
        return check(args);

    CLI::App app("Vantrel's commands on the folder it runs in", "vantrel " + args.front());
    app.set_help_flag("-h,--help", "show this help and exit");
    bool json = false, csv = false, dryRun = false, historyJson = false;
    std::string title, url, text, action, target, file = "-", folder, from, to;
    int wait = args.front() == "check-now" ? kCheckNowWaitSeconds : kDefaultWaitSeconds;
    const std::string& command = args.front();
    if (command == "list") {
        app.description("Prints the sites of the folder and their states; changes nothing.");
        auto* j = app.add_flag("--json", json, "as a JSON array");
        app.add_flag("--csv", csv, "as CSV with a header row")->excludes(j);
    } else if (command == "add") {
        app.description("Adds a site at the top of the list, with the status New.");
        app.add_option("TITLE", title, "the site's title")->required();
        app.add_option("URL", url, "the page to check (http:// or https://)")->required();
        app.add_option("TEXT", text, "text the page must contain (default: none)");
        app.add_option("--action", action, "how a failure is announced (default: Sound)");
    } else if (command == "remove") {
        app.description("Removes the one site with this title or URL.");
        app.add_option("TITLE|URL", target, "the site's title or URL")->required();
    } else if (command == "check-now") {
        app.description("Checks every site, or the sites with this title or URL, now.");
        app.add_option("TITLE|URL", target, "only the sites with this title or URL");
    } else if (command == "import") {
        app.description(
            "Adds the sites of FILE that are not in the list yet: a Vantrel export, CSV with a\n"
            "header row (title,url,text), a list of URLs one a line, or a browser's bookmark file.");
        app.add_option("FILE", file, "the file to import, - for standard input")->required();
        app.add_flag("--dry-run,-n", dryRun, "show what would be imported, change nothing");
        app.add_option("--folder", folder, "bookmarks: only this folder and its subfolders");
        app.add_option("--action", action, "the action of new sites that have none (default: Sound)");
    } else if (command == "export") {
        app.description("Writes the list with every site's options and the settings, without any secret,\n"
                        "as one JSON document.");
        app.add_option("FILE", file, "where to write it (default: standard output)");
    } else if (command == "export-history") {
        app.description("Writes the check history of every site as CSV (default) or JSON.");
        app.add_option("FILE", file, "where to write it (default: standard output)");
        app.add_flag("--json", historyJson, "as a JSON array");
        app.add_option("--from", from, "the first day, YYYY-MM-DD (default: the first check)");
        app.add_option("--to", to, "the last day, YYYY-MM-DD (default: today)");
    }
    if (command == "add" || command == "remove" || command == "check-now" || command == "import")
        app.add_option("--wait", wait,
                       "seconds to wait for a running check pass (default: " + std::to_string(wait) + ")")
            ->check(CLI::Range(0, 86400));
    std::vector<std::string> rest(args.rbegin(), args.rend() - 1);
    try {
        app.parse(rest);
    } catch (const CLI::CallForHelp&) {
        out_ << app.help();
        return FolderReply::kDone;
    } catch (const CLI::ParseError& e) {
        err_ << "vantrel " << command << ": " << e.what() << "\nTry 'vantrel " << command << " --help'.\n";
        return FolderReply::kUsage;
    }

    if (command == "list")
        return list(json, csv);
    if (command == "add") {
        FolderRequest r;
        r.command = "add";
        r.title = title;
        r.url = url;
        r.text = text;
        r.action = action.empty() ? FolderEditor::kDefaultAction : action;
        if (!FolderEditor::knownAction(r.action)) {
            err_ << "vantrel add: unknown action \"" << r.action
                 << "\": one of Email, Email / Sound, Email / URL, Email / URL / Sound, Sound, URL, URL / "
                    "Sound\n";
            return FolderReply::kUsage;
        }
        return edit(r, wait);
    }
    if (command == "remove" || command == "check-now") {
        FolderRequest r;
        r.command = command;
        r.target = target;
        return edit(r, wait);
    }
    if (command == "import") {
        const std::string a = action.empty() ? FolderEditor::kDefaultAction : action;
        if (!FolderEditor::knownAction(a)) {
            err_ << "vantrel import: unknown action \"" << a << "\"\n";
            return FolderReply::kUsage;
        }
        return import(file, dryRun, folder, a);
    }
    if (command == "export")
        return exportList(file);
    return HistoryExportCommand::run(file, historyJson, from, to, out_, err_);
}

int CommandRunner::check(const std::vector<std::string>& args) {
    CLI::App app("One check of URL, reported as a monitoring plugin: a line such as\n"
                 "VANTREL OK - 200 in 123 ms | time=0.123s;0.5;1;0 size=5120B;;;0\n"
                 "and the exit status 0 (OK), 1 (WARNING), 2 (CRITICAL) or 3 (UNKNOWN).",
                 "vantrel check");
    app.set_help_flag("-h,--help", "show this help and exit");
    CheckCommand::Arguments a;
    app.add_option("URL", a.url, "the page to check")->required();
    auto* t = app.add_option("--text,-s", a.text, "text the page must contain");
    app.add_option("--regex,-r", a.regex, "an RE2 pattern the page must match")->excludes(t);
    app.add_flag("--invert", a.invert, "the page must not contain the text or match the pattern");
    app.add_option("--status,-e", a.status, "the good status codes, e.g. 200-299,301 (default: any)");
    app.add_option("--warn-ms,-w", a.warnMs, "WARNING above this response time in ms")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--crit-ms,-c", a.critMs, "CRITICAL above this response time in ms")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--timeout,-t", a.timeoutSeconds, "give up after this many seconds (default: 10)")
        ->check(CLI::Range(1, 3600));
    app.add_option("--header,-H", a.headers, "an extra request header, Name: value (may repeat)");
    app.add_flag("--insecure,-k", a.insecure, "accept any certificate and host name");
    std::vector<std::string> rest(args.rbegin(), args.rend() - 1);
    try {
        app.parse(rest);
    } catch (const CLI::CallForHelp&) {
        out_ << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        // A monitoring system shows the first line: say UNKNOWN there.
        out_ << PluginReport::unknown(e.what()).line() << "\n";
        err_ << "Try 'vantrel check --help'.\n";
        return static_cast<int>(PluginReport::State::Unknown);
    }
    const PluginReport report = http_ ? CheckCommand::run(a, *http_) : CheckCommand::run(a);
    out_ << report.line() << "\n";
    return report.exitStatus();
}

bool CommandRunner::currentSites(SiteList& list, std::string& why) {
    FolderRequest r;
    r.command = "list";
    std::string problem;
    if (std::optional<FolderReply> reply = link_.ask(r, std::chrono::seconds(10), problem)) {
        list.clear();
        list.insertAllAtTop(std::vector<SiteEntry>(reply->sites.rbegin(), reply->sites.rend()));
        return true;
    }
    if (!problem.empty()) {
        why = problem;
        return false;
    }
    return LocalFolder::readSites(list, why);
}

int CommandRunner::list(bool json, bool csv) {
    SiteList list;
    std::string why;
    if (!currentSites(list, why)) {
        err_ << "vantrel list: " << why << "\n";
        return FolderReply::kFailed;
    }
    const std::vector<SiteEntry> sites = FolderEditor::rows(list);
    out_ << (json ? SiteListText::json(sites) : csv ? SiteListText::csv(sites) : SiteListText::table(sites));
    return FolderReply::kDone;
}

int CommandRunner::print(const FolderReply& reply, bool table) {
    std::ostream& to = reply.status == FolderReply::kDone ? out_ : err_;
    if (!reply.message.empty())
        to << reply.message << "\n";
    if (table && !reply.sites.empty())
        to << SiteListText::table(reply.sites);
    return reply.status;
}

int CommandRunner::edit(const FolderRequest& request, int waitSeconds) {
    const bool table = request.command == "check-now" || request.command == "remove";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    auto left = [&deadline] {
        return std::max(std::chrono::milliseconds(2000),
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()));
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (;;) {
            std::string problem;
            std::optional<FolderReply> reply = link_.ask(request, left(), problem);
            if (reply && reply->status == FolderReply::kBusy) {
                if (std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                    continue;
                }
                reply->status = FolderReply::kFailed;
            }
            if (reply)
                return print(*reply, table);
            if (!problem.empty()) {
                err_ << problem << "\n";
                return FolderReply::kFailed;
            }
            break; // no instance runs here
        }
        std::string why;
        if (link_.lock(why)) {
            const FolderReply reply = LocalFolder::run(request, today(), err_);
            link_.unlock();
            return print(reply, table);
        }
        // An instance may have started meanwhile: ask it once more.
        if (attempt == 1) {
            err_ << why << "\n";
            return FolderReply::kFailed;
        }
    }
    return FolderReply::kFailed;
}

int CommandRunner::import(const std::string& file, bool dryRun, const std::string& folder,
                          const std::string& action) {
    const std::optional<std::string> bytes = readInput(file);
    if (!bytes) {
        err_ << "vantrel import: cannot read " << file << "\n";
        return FolderReply::kFailed;
    }
    const ImportReader::Result read = ImportReader::read(*bytes);
    if (!read.ok) {
        err_ << file << ":" << read.errorLine << ": " << read.error << "; nothing imported.\n";
        return FolderReply::kRefused;
    }
    if (!folder.empty() && read.format == ImportReader::Format::Bookmarks &&
        std::none_of(read.folders.begin(), read.folders.end(),
                     [&folder](const std::string& f) { return ImportReader::inFolder(f, folder); })) {
        err_ << "vantrel import: the bookmarks have no folder \"" << folder << "\". Their folders:\n";
        for (const std::string& f : read.folders)
            err_ << "  " << f << "\n";
        return FolderReply::kRefused;
    }
    SiteList list;
    std::string why;
    if (!currentSites(list, why)) {
        err_ << "vantrel import: " << why << "\n";
        return FolderReply::kFailed;
    }
    const ImportPlan plan = ImportPlan::make(read, list, folder, action, today());
    out_ << ImportReader::formatName(read.format) << ": " << plan.report();
    if (dryRun || plan.count(ImportPlan::Kind::New) == 0)
        return FolderReply::kDone;
    FolderRequest r;
    r.command = "add-sites";
    for (const ImportPlan::Item& item : plan.items())
        if (item.kind == ImportPlan::Kind::New)
            r.sites.push_back(item.row.site);
    return edit(r, kDefaultWaitSeconds);
}

int CommandRunner::exportList(const std::string& file) {
    SiteList list;
    std::string why;
    if (!currentSites(list, why)) {
        err_ << "vantrel export: " << why << "\n";
        return FolderReply::kFailed;
    }
    const std::string doc =
        ExportDocument::write(list, readIfThere(SettingsFile::kFileName),
                              readIfThere(ExtraSettingsFile::kFileName), std::time(nullptr));
    if (file == "-") {
        out_ << doc;
        return FolderReply::kDone;
    }
    if (!DataFile::save(file, doc)) {
        err_ << "vantrel export: cannot write " << file << "\n";
        return FolderReply::kFailed;
    }
    out_ << "Exported " << list.rowCount() << (list.rowCount() == 1 ? " site" : " sites") << " to " << file
         << ".\n";
    return FolderReply::kDone;
}

} // namespace vantrel
