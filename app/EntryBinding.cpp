#include "app/EntryBinding.h"

#include "monitor/SiteMonitor.h"
#include "ui/EntryBoxes.h"
#include "ui/MainWindowForm.h"

#include <QLineEdit>

#include <utility>

namespace vantrel {

EntryBinding::EntryBinding(SiteMonitor& engine, MainWindowForm& form) : engine_(engine), form_(form) {
    PacedDisplay::enlist(this);
}

EntryBinding::~EntryBinding() {
    PacedDisplay::leave(this);
}

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
    if (kept_) {
        data.statusText = kept_->status;
        data.siteCount = kept_->sites;
        data.checkCount = kept_->checks;
    } else {
        data.statusText = status_.gather(form_.status);
        data.siteCount = form_.total->text().toInt();
        data.checkCount = form_.checks->text().toInt();
    }
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
    Line line{data.statusText, data.siteCount, data.checkCount};
    // A pass shows the line several times a site: within a burst only the
    // last one is laid out, when the burst ends.
    if (PacedDisplay::inBurst())
        kept_ = std::move(line);
    else
        showLine(line);
}

void EntryBinding::showKept() {
    // The boxes first: the tips below measure what they show.
    form_.entryBoxes->showKept();
    if (auto line = std::exchange(kept_, std::nullopt))
        showLine(*line);
}

void EntryBinding::showLine(const Line& line) {
    kept_.reset();
    status_.show(form_.status, line.status);
    // A count is laid out again only when it changed.
    for (auto [field, count] : {std::pair{form_.total, line.sites}, std::pair{form_.checks, line.checks}}) {
        const QString text = QString::number(count);
        if (field->text() != text)
            field->setText(text);
    }
    for (QLineEdit* e : {form_.createDate, form_.entryStatus, form_.checkDate, form_.status})
        wholeTip_.apply(e);
}

} // namespace vantrel
