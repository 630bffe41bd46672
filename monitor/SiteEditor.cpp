#include "monitor/SiteEditor.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"

#include <utility>

namespace vantrel {

SiteEditor::SiteEditor(SiteMonitor& monitor, Clock& clock, std::string appTitle)
    : monitor_(monitor), clock_(clock), appTitle_(std::move(appTitle)) {}

const char* SiteEditor::addRefusal() const {
    const SiteEntry& e = monitor_.data().entry;
    const Settings& s = monitor_.settings();
    // Case-sensitive on purpose: an action typed as "email" is not mailed
    // by the alerts either, so it needs no mail settings.
    const bool mails = text::contains(e.action, "Email");
    if (mails && s.smtpServer.empty())
        return kNoSmtpServer;
    if (mails && s.email1.empty())
        return kNoEmail1;
    if (mails && (s.yourEmail.empty() || s.yourName.empty()))
        return kNoSender;
    if (e.action.empty())
        return kNoAction;
    if (!text::contains(e.url, "http"))
        return kNoHttp;
    return nullptr;
}

void SiteEditor::OnAdd() {
    monitor_.view().gather();
    if (const char* refusal = addRefusal()) {
        monitor_.view().messageBox(refusal, kWarningCaption);
        return;
    }
    AddEntry();
}

void SiteEditor::AddEntry() {
    MonitorView& view = monitor_.view();
    view.gather();
    const SiteEntry& entry = monitor_.data().entry;
    if (entry.title.empty() || entry.url.empty()) {
        view.messageBox(kBlankEntry, kErrorCaption);
        return;
    }
    if (FindDuplicate() &&
        view.messageBox(kDuplicateQuestion, appTitle_, MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    // The date and status go into the new row only: the boxes keep what was
    // typed, so adding the same entry again at once meets the question.
    SiteEntry row = monitor_.data().entry;
    row.createDate = DateText::date(clock_.now());
    row.status = kNewStatus;
    monitor_.mutableSites().insertAtTop(row);
    view.autoSizeColumns();
    monitor_.updateSiteCount();
}

bool SiteEditor::FindDuplicate() {
    monitor_.view().gather();
    monitor_.mutableData().siteCount = monitor_.sites().rowCount();
    return monitor_.sites().findDuplicate(monitor_.data().entry) >= 0;
}

void SiteEditor::OnUpdate() {
    const int marked = monitor_.view().markedRow();
    if (!monitor_.sites().isValidRow(marked))
        return;
    monitor_.storeRow(marked);
}

void SiteEditor::OnRemove() {
    MonitorView& view = monitor_.view();
    const int marked = view.markedRow();
    if (!monitor_.sites().isValidRow(marked))
        return;
    // Gathered first so that showing the new count leaves the entry boxes
    // as they are, typed text included.
    view.gather();
    monitor_.mutableSites().removeRow(marked);
    view.autoSizeColumns();
    monitor_.updateSiteCount();
}

void SiteEditor::OnClear() {
    monitor_.clearEntry();
}

void SiteEditor::OnClearAll() {
    MonitorView& view = monitor_.view();
    if (view.messageBox(kClearAllQuestion, appTitle_, MessageButtons::YesNo) == MessageAnswer::Yes)
        monitor_.mutableSites().clear();
    // The entry boxes stay filled: gather before showing the new count.
    view.gather();
    monitor_.mutableData().siteCount = monitor_.sites().rowCount();
    view.autoSizeColumns();
    view.show();
}

void SiteEditor::OnListClick() {
    // With no row marked yet there is nothing to load: the entry stays.
    const int marked = monitor_.view().markedRow();
    if (monitor_.sites().isValidRow(marked))
        monitor_.loadRow(marked);
}

void SiteEditor::SortByColumn(int column) {
    if (column < 0 || column >= SiteEntry::kColumnCount)
        return;
    MonitorView& view = monitor_.view();
    view.gather();
    monitor_.mutableData().siteCount = monitor_.sites().rowCount();
    monitor_.mutableSites().sortByColumn(column);
    view.show();
}

} // namespace vantrel
