#pragma once

#include "model/SiteListObserver.h"
#include "monitor/SiteState.h"
#include "ui/ColumnWidths.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <string>

namespace vantrel {

class Clock;
class SiteList;
struct ExtraSettings;

// The list view's model: shows the rows of the engine's one SiteList
// directly, without a copy, and follows its changes.
class SiteListModel : public QAbstractTableModel, public SiteListObserver {
    Q_OBJECT
public:
    explicit SiteListModel(const SiteList& list, QObject* parent = nullptr);
    ~SiteListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QString headerText(int column);
    // The mark of a status cell, each of its own shape and colour: a green
    // dot for "OK", a red crossed square for "404", an amber diamond for a
    // missing test string, a blue clock for "Slow"; none for any other text.
    static QIcon statusMark(const std::string& status);
    // The mark of a site's state in the first column: its status mark (a
    // red crossed square for any other failure), a purple crescent while
    // snoozed, a grey hollow ring before its first check.
    static QIcon stateMark(SiteStateKind state, const std::string& status);
    // Where a site's snooze is read (SNOOZEALL and the time); without it no
    // row shows as snoozed.
    void setSnoozeContext(const ExtraSettings* settings, const Clock* clock) {
        settings_ = settings;
        clock_ = clock;
    }
    static constexpr int kTitleColumn = 0;
    // The snoozes changed or one ended: the first column is drawn again.
    void statesChanged();
    // What the URL's tip and assistive tools say of a site that accepts any certificate.
    static constexpr const char* kInsecureText = "INSECURE: any certificate is accepted";
    // The room a column's marks take beside its text.
    int markWidth(int column) const;
    static constexpr int kUrlColumn = 1;
    static constexpr int kStatusColumn = 7;
    static constexpr int kMarkSize = 12;

    // The widest cell of each column, as measured by `measure`.
    ColumnWidths& widths() { return widths_; }

    void rowsAboutToBeInserted(int first, int last) override;
    void rowsInserted() override;
    void rowsAboutToBeRemoved(int first, int last) override;
    void rowsRemoved() override;
    void rowsChanged(int first, int last) override;
    void aboutToReset() override;
    void reset() override;

private:
    SiteStateKind stateOf(const SiteEntry& site) const;

    const SiteList& list_;
    const ExtraSettings* settings_ = nullptr;
    const Clock* clock_ = nullptr;
    ColumnWidths widths_;
    int insertFirst_ = 0;
    int insertLast_ = -1;
};

} // namespace vantrel
