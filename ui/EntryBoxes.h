#pragma once

#include "ui/BoundText.h"
#include "ui/PacedDisplay.h"

#include <array>

class QComboBox;
class QLineEdit;

namespace vantrel {

struct SiteEntry;

// The eight entry boxes of the main window, in field order (the Action combo
// box as field 3), bound to the engine's current entry. Besides show and
// gather it tells whether the user changed any box since it was last shown.
// During a burst of the engine's work the text boxes keep what they are
// given and show it when the burst ends (PacedDisplay); gather gives it back
// all the same.
class EntryBoxes : public PacedDisplay::Member {
public:
    // The boxes in field order; `action` stands in for field 3.
    EntryBoxes(std::array<QLineEdit*, 8> edits, QComboBox* action);
    ~EntryBoxes() override;
    EntryBoxes(const EntryBoxes&) = delete;
    EntryBoxes& operator=(const EntryBoxes&) = delete;

    void show(const SiteEntry& entry);
    // The eight fields from the boxes; the entry's options stay as they are.
    void gather(SiteEntry& entry) const;
    // True when a box no longer holds what show last put into it.
    bool edited() const;
    void showKept() override;

private:
    std::array<QLineEdit*, 8> edits_;
    QComboBox* action_;
    std::array<BoundText, 8> bindings_{};
};

} // namespace vantrel
