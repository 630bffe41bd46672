#include "cli/FolderEditor.h"

#include "cli/ImportReader.h"
#include "model/SiteList.h"

#include <set>
#include <utility>

namespace vantrel {

bool FolderEditor::knownAction(const std::string& action) {
    for (const char* known :
         {"Email", "Email / Sound", "Email / URL", "Email / URL / Sound", "Sound", "URL", "URL / Sound"})
        if (action == known)
            return true;
    return false;
}

FolderReply FolderEditor::add(SiteList& list, const FolderRequest& request, const std::string& today) {
    SiteListEdit edit;
    FolderReply reply = add(std::as_const(list), request, today, edit);
    edit.applyTo(list);
    return reply;
}

FolderReply FolderEditor::remove(SiteList& list, const std::string& target) {
    SiteListEdit edit;
    FolderReply reply = remove(std::as_const(list), target, edit);
    edit.applyTo(list);
    return reply;
}

FolderReply FolderEditor::addSites(SiteList& list, const std::vector<SiteEntry>& sites) {
    SiteListEdit edit;
    FolderReply reply = addSites(std::as_const(list), sites, edit);
    edit.applyTo(list);
    return reply;
}

FolderReply FolderEditor::add(const SiteList& list, const FolderRequest& request, const std::string& today,
                              SiteListEdit& edit) {
    FolderReply reply;
    reply.status = FolderReply::kRefused;
    for (const std::string* text : {&request.title, &request.url, &request.text, &request.action})
        if (text->find_first_of("\r\n") != std::string::npos) {
            reply.message = "A title, URL, text or action cannot hold a line break.";
            return reply;
        }
    if (request.title.empty()) {
        reply.message = "The title is empty.";
        return reply;
    }
    if (const std::string problem = ImportReader::urlProblem(request.url); !problem.empty()) {
        reply.message = "Cannot add " + request.url + ": " + problem + ".";
        return reply;
    }
    const std::string action = request.action.empty() ? kDefaultAction : request.action;
    if (!knownAction(action)) {
        reply.message =
            "Unknown action \"" + action +
            "\": one of Email, Email / Sound, Email / URL, Email / URL / Sound, Sound, URL, URL / Sound.";
        return reply;
    }
    SiteEntry site(request.title, request.url, request.text, action, "", today, "", "New");
    if (list.findDuplicate(site) >= 0) {
        reply.message = "This entry is already in the list: " + request.title + " (" + request.url + ").";
        return reply;
    }
    edit = SiteListEdit{SiteListEdit::Kind::AddOne, {site}, -1};
    reply.status = FolderReply::kDone;
    reply.message = "Added " + request.title + " (" + request.url + ").";
    reply.sites.push_back(site);
    return reply;
}

FolderReply FolderEditor::remove(const SiteList& list, const std::string& target, SiteListEdit& edit) {
    FolderReply reply;
    reply.status = FolderReply::kRefused;
    const std::vector<bool> named = rowsNamed(list, target);
    std::vector<int> hits;
    for (int i = 0; i < list.rowCount(); ++i)
        if (named[static_cast<size_t>(i)])
            hits.push_back(i);
    if (target.empty() || hits.empty()) {
        reply.message = "No site has the title or URL \"" + target + "\".";
        return reply;
    }
    if (hits.size() > 1) {
        // Which one was meant cannot be told: nothing is removed.
        reply.message = std::to_string(hits.size()) + " sites have the title or URL \"" + target +
                        "\"; nothing removed. Name one by its URL or title.";
        reply.sites = rows(list, named);
        return reply;
    }
    const SiteEntry gone = list.row(hits.front());
    edit = SiteListEdit{SiteListEdit::Kind::Remove, {}, hits.front()};
    reply.status = FolderReply::kDone;
    reply.message = "Removed " + gone.title + " (" + gone.url + ").";
    reply.sites.push_back(gone);
    return reply;
}

FolderReply FolderEditor::addSites(const SiteList& list, const std::vector<SiteEntry>& sites,
                                   SiteListEdit& edit) {
    std::set<std::string> present;
    for (int i = 0; i < list.rowCount(); ++i)
        present.insert(list.row(i).url);
    std::vector<SiteEntry> added;
    for (const SiteEntry& site : sites)
        if (present.insert(site.url).second)
            added.push_back(site);
    FolderReply reply;
    if (!added.empty())
        edit = SiteListEdit{SiteListEdit::Kind::AddAll, std::vector<SiteEntry>(added.rbegin(), added.rend()),
                            -1};
    reply.message = "Imported " + std::to_string(added.size()) + (added.size() == 1 ? " site." : " sites.");
    reply.sites = std::move(added);
    return reply;
}

std::vector<bool> FolderEditor::rowsNamed(const SiteList& list, const std::string& target) {
    std::vector<bool> marked(static_cast<size_t>(list.rowCount()), target.empty());
    if (!target.empty())
        for (int i = 0; i < list.rowCount(); ++i)
            marked[static_cast<size_t>(i)] = list.row(i).title == target || list.row(i).url == target;
    return marked;
}

std::vector<SiteEntry> FolderEditor::rows(const SiteList& list) {
    std::vector<SiteEntry> out;
    for (int i = 0; i < list.rowCount(); ++i)
        out.push_back(list.row(i));
    return out;
}

std::vector<SiteEntry> FolderEditor::rows(const SiteList& list, const std::vector<bool>& marked) {
    std::vector<SiteEntry> out;
    for (int i = 0; i < list.rowCount() && static_cast<size_t>(i) < marked.size(); ++i)
        if (marked[static_cast<size_t>(i)])
            out.push_back(list.row(i));
    return out;
}

} // namespace vantrel
