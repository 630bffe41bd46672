#include "ui/EntryBoxes.h"

#include "model/SiteEntry.h"

#include <QComboBox>
#include <QLineEdit>

namespace vantrel {

EntryBoxes::EntryBoxes(std::array<QLineEdit*, 8> edits, QComboBox* action) : edits_(edits), action_(action) {}

void EntryBoxes::show(const SiteEntry& entry) {
    for (size_t i = 0; i < bindings_.size(); ++i) {
        const std::string& text = entry.column(static_cast<int>(i));
        if (edits_[i])
            bindings_[i].show(edits_[i], text);
        else
            bindings_[i].show(action_, text);
    }
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
