#pragma once

#include "model/ExtraSettings.h"
#include "model/Settings.h"
#include "model/SiteListEdit.h"
#include "monitor/SiteMonitor.h"

#include <utility>
#include <vector>

namespace vantrel::test {

// Changes an engine's settings as Preferences does: copies edited, then
// applied as a whole. `edit` takes (Settings&, ExtraSettings&).
template <typename Edit> void editSettings(SiteMonitor& engine, Edit&& edit) {
    Settings s = engine.settings();
    ExtraSettings x = engine.extraSettings();
    edit(s, x);
    engine.applySettings(s, x);
}

// The same for the extra settings alone. `edit` takes (ExtraSettings&).
template <typename Edit> void editExtra(SiteMonitor& engine, Edit&& edit) {
    editSettings(engine, [&edit](Settings&, ExtraSettings& x) { edit(x); });
}

// Changes the window's bound values (the entry, the counters) as the
// window's gather does. `edit` takes (DialogData&).
template <typename Edit> void editData(SiteMonitor& engine, Edit&& edit) {
    DialogData d = engine.data();
    edit(d);
    engine.setDialogData(std::move(d));
}

// Adds one site on top of the rows.
inline void addSite(SiteMonitor& engine, const SiteEntry& site) {
    engine.editSites(SiteListEdit{SiteListEdit::Kind::AddOne, {site}, -1});
}

// Adds `sites` on top as a load does: the last ends up on top.
inline void addSites(SiteMonitor& engine, const std::vector<SiteEntry>& sites) {
    engine.editSites(SiteListEdit{SiteListEdit::Kind::AddAll, sites, -1});
}

// Replaces the engine's rows with `top`, from the top row down.
inline void setSites(SiteMonitor& engine, const std::vector<SiteEntry>& top) {
    engine.editSites(SiteListEdit{SiteListEdit::Kind::Replace, {top.rbegin(), top.rend()}, -1});
}

// Replaces row `i` with `entry` (which may be a changed copy of the row).
inline void setRow(SiteMonitor& engine, int i, const SiteEntry& entry) {
    engine.editSites(SiteListEdit{SiteListEdit::Kind::Change, {entry}, i});
}

} // namespace vantrel::test
