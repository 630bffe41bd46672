#include "ui/EntryBoxes.h"

#include "model/SiteEntry.h"

#include <QComboBox>
#include <QLineEdit>

namespace vantrel {

EntryBoxes::EntryBoxes(std::array<QLineEdit*, 8> edits, QComboBox* action) : edits_(edits), action_(action) {
    PacedDisplay::enlist(this);
}

EntryBoxes::~EntryBoxes() {
    PacedDisplay::leave(this);
}

void EntryBoxes::show(const SiteEntry& entry) {
    const bool later = PacedDisplay::inBurst();
    for (size_t i = 0; i < bindings_.size(); ++i) {
        const std::string& text = entry.column(static_cast<int>(i));
        if (!edits_[i])
            bindings_[i].show(action_, text); // a choice may stand for the text: shown at once
        else if (later)
            bindings_[i].keep(text);
        else
            bindings_[i].show(edits_[i], text);
    }
}

void EntryBoxes::showKept() {
    for (size_t i = 0; i < bindings_.size(); ++i)
        if (edits_[i])
            bindings_[i].showKept(edits_[i]);
}

void EntryBoxes::gather(SiteEntry& entry) const {
    for (size_t i = 0; i < bindings_.size(); ++i)
        entry.column(static_cast<int>(i)) =
            edits_[i] ? bindings_[i].gather(edits_[i]) : bindings_[i].gather(action_);
}

bool EntryBoxes::edited() const {
    for (size_t i = 0; i < bindings_.size(); ++i) {
        if (edits_[i] ? bindings_[i].changed(edits_[i]) : bindings_[i].changed(action_))
            return true;
    }
    return false;
}

} // namespace vantrel
