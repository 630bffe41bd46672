#include "cli/LocalFolder.h"

#include "cli/ConsoleMonitorView.h"
#include "cli/FolderEditor.h"
#include "history/SqliteCheckHistory.h"
#include "model/DataFile.h"
#include "model/SiteList.h"
#include "model/SiteListFile.h"
#include "model/SystemClock.h"
#include "monitor/SiteMonitor.h"
#include "platform/MailPasswordFile.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <sys/stat.h>

namespace vantrel {

bool LocalFolder::readSites(SiteList& list, std::string& why) {
    struct stat st {};
    if (::stat(SiteListFile::kFileName, &st) != 0)
        return true; // no list yet
    if (!S_ISREG(st.st_mode)) {
        why = std::string(SiteListFile::kFileName) + " is not a regular file.";
        return false;
    }
    std::ifstream in(SiteListFile::kFileName, std::ios::binary);
    if (!in) {
        why = std::string("Cannot read ") + SiteListFile::kFileName + ".";
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        why = std::string("Cannot read ") + SiteListFile::kFileName + ".";
        return false;
    }
    SiteEntry entry;
    const std::vector<SiteEntry> records = SiteListFile::parse(bytes, entry);
    if (records.empty() && bytes.find_first_not_of(" \t\r\n") != std::string::npos) {
        why = std::string(SiteListFile::kFileName) +
              " holds no site this program can read; it is left as it is.";
        return false;
    }
    list.clear();
    list.insertAllAtTop(records);
    return true;
}

FolderReply LocalFolder::run(const FolderRequest& request, const std::string& today, std::ostream& err) {
    if (request.command == "check-now")
        return checkNow(request.target, err);
    FolderReply reply;
    SiteList list;
    std::string why;
    if (!readSites(list, why)) {
        reply.status = FolderReply::kFailed;
        reply.message = why;
        return reply;
    }
    if (request.command == "add")
        reply = FolderEditor::add(list, request, today);
    else if (request.command == "remove")
        reply = FolderEditor::remove(list, request.target);
    else if (request.command == "add-sites")
        reply = FolderEditor::addSites(list, request.sites);
    else {
        reply.status = FolderReply::kUsage;
        reply.message = "Unknown command " + request.command + ".";
        return reply;
    }
    if (reply.status == FolderReply::kDone &&
        !DataFile::save(SiteListFile::kFileName, SiteListFile::serialize(list))) {
        reply.status = FolderReply::kFailed;
        reply.message = std::string("Could not write ") + SiteListFile::kFileName + "; it is unchanged.";
        reply.sites.clear();
    }
    return reply;
}

FolderReply LocalFolder::checkNow(const std::string& target, std::ostream& err) {
    FolderReply reply;
    ConsoleMonitorView view(err);
    SystemClock clock;
    MonitorServices services;
    services.clock = &clock;
    SiteMonitor engine(view, services);
    engine.loadSettings();
    engine.loadSiteList();
    const std::vector<bool> marked = FolderEditor::rowsNamed(engine.sites(), target);
    if (FolderEditor::rows(engine.sites(), marked).empty()) {
        reply.status = FolderReply::kRefused;
        reply.message =
            target.empty() ? "The list has no site." : "No site has the title or URL \"" + target + "\".";
        return reply;
    }
    const ExtraSettings& x = engine.extraSettings();
    if (!x.mailUser.empty() && !x.mailPasswordFile.empty()) {
        const MailPasswordFile::Result password = MailPasswordFile::read(x.mailPasswordFile);
        if (password.status == MailPasswordFile::Status::Ok)
            engine.setMailPassword(password.password);
        else
            err << password.message << std::endl;
    }
    std::unique_ptr<SqliteCheckHistory> history;
    if (x.history) {
        history = std::make_unique<SqliteCheckHistory>(SqliteCheckHistory::kFileName, x.historyDays,
                                                       static_cast<long long>(x.historyMaxMb) << 20, clock);
        engine.setHistory(history.get());
    }
    engine.checkMarked(marked);
    engine.setHistory(nullptr);
    history.reset();
    reply.sites = FolderEditor::rows(engine.sites(), marked);
    if (!engine.writeSiteListFile()) {
        reply.status = FolderReply::kFailed;
        reply.message = std::string("Checked, but could not write ") + SiteListFile::kFileName + ".";
        return reply;
    }
    reply.message =
        "Checked " + std::to_string(reply.sites.size()) + (reply.sites.size() == 1 ? " site." : " sites.");
    return reply;
}

} // namespace vantrel
