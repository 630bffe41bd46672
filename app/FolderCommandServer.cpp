#include "app/FolderCommandServer.h"

#include "cli/FolderEditor.h"
#include "model/Clock.h"
#include "model/DateText.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"

#include <QCoreApplication>
#include <QTimer>

namespace vantrel {

namespace {

QByteArray lineOf(const FolderReply& reply) {
    return QByteArray::fromStdString(reply.toLine());
}

FolderReply failed(int status, std::string message) {
    FolderReply r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

} // namespace

FolderCommandServer::FolderCommandServer(SiteMonitor& engine, MonitorView& view, const Clock& clock,
                                         QObject* parent)
    : QObject(parent), engine_(engine), view_(view), clock_(clock) {}

void FolderCommandServer::handle(const QByteArray& line, InstanceGuard::Reply reply) {
    std::string why;
    const std::optional<FolderRequest> request = FolderRequest::fromLine(line.toStdString(), why);
    if (!request) {
        reply(lineOf(failed(FolderReply::kUsage, "Vantrel (pid " +
                                                     std::to_string(QCoreApplication::applicationPid()) +
                                                     ") cannot take this command: " + why)));
        return;
    }
    const FolderRequest& r = *request;
    if (r.command == "list") {
        FolderReply out;
        out.sites = FolderEditor::rows(engine_.sites());
        reply(lineOf(out));
        return;
    }
    if (engine_.passRunning()) {
        reply(lineOf(failed(FolderReply::kBusy, "A check pass is running.")));
        return;
    }
    if (r.command == "check-now") {
        const std::vector<bool> marked = FolderEditor::rowsNamed(engine_.sites(), r.target);
        if (FolderEditor::rows(engine_.sites(), marked).empty()) {
            reply(lineOf(failed(FolderReply::kRefused,
                                r.target.empty() ? "The list has no site."
                                                 : "No site has the title or URL \"" + r.target + "\".")));
            return;
        }
        // The pass runs from the event loop, after this answer's turn; the
        // reply waits for its end.
        QTimer::singleShot(0, this, [this, target = r.target, marked, reply] {
            if (!engine_.checkMarked(marked)) {
                reply(lineOf(failed(FolderReply::kBusy, "A check pass is running.")));
                return;
            }
            FolderReply out;
            out.sites = FolderEditor::rows(engine_.sites(), FolderEditor::rowsNamed(engine_.sites(), target));
            out.message = "Checked " + std::to_string(out.sites.size()) +
                          (out.sites.size() == 1 ? " site." : " sites.");
            reply(lineOf(out));
        });
        return;
    }
    view_.gather(); // what the user typed stays in the entry boxes
    FolderReply out;
    SiteListEdit edit;
    if (r.command == "add")
        out = FolderEditor::add(engine_.sites(), r, DateText::date(clock_.now()), edit);
    else if (r.command == "remove")
        out = FolderEditor::remove(engine_.sites(), r.target, edit);
    else if (r.command == "add-sites")
        out = FolderEditor::addSites(engine_.sites(), r.sites, edit);
    else
        out = failed(FolderReply::kUsage, "Unknown command " + r.command + ".");
    engine_.editSites(edit);
    if (out.status == FolderReply::kDone) {
        engine_.updateSiteCount();
        view_.autoSizeColumns();
        view_.show();
        if (!engine_.writeSiteListFile()) {
            out.status = FolderReply::kFailed;
            out.message += " The window shows it, but vantrel.dat could not be written.";
        }
    }
    reply(lineOf(out));
}

} // namespace vantrel
