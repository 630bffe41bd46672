#include "app/EntryBinding.h"

#include "monitor/SiteMonitor.h"
#include "ui/EntryBoxes.h"
#include "ui/MainWindowForm.h"

#include <QLineEdit>

#include <utility>

namespace vantrel {

void EntryBinding::gather() {
    DialogData data = engine_.data();
    if (engine_.passRunning() && form_.entryBoxes->edited()) {
        // The user is editing: the pass keeps its own copy of the entry.
        held_ = true;
    } else {
        // Back from a pass that left the boxes alone: what the user edits is
        // the entry last shown, options included, not the pass's last row.
        if (std::exchange(held_, false))
            data.entry = shown_;
        form_.entryBoxes->gather(data.entry);
    }
    data.statusText = status_.gather(form_.status);
    data.siteCount = form_.total->text().toInt();
    data.checkCount = form_.checks->text().toInt();
    engine_.setDialogData(std::move(data));
}

void EntryBinding::show() {
    const DialogData& data = engine_.data();
    if (engine_.passRunning() && form_.entryBoxes->edited()) {
        held_ = true;
    } else {
        form_.entryBoxes->show(data.entry);
        shown_ = data.entry;
        held_ = false;
    }
    status_.show(form_.status, data.statusText);
    // A pass shows the boxes several times a site: a count is laid out
    // again only when it changed.
    for (auto [field, count] :
         {std::pair{form_.total, data.siteCount}, std::pair{form_.checks, data.checkCount}}) {
        const QString text = QString::number(count);
        if (field->text() != text)
            field->setText(text);
    }
    for (QLineEdit* e : {form_.createDate, form_.entryStatus, form_.checkDate, form_.status})
        wholeTip_.apply(e);
}

} // namespace vantrel
