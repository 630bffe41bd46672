#include "app/SiteListView.h"

#include "monitor/SiteEditor.h"
#include "monitor/SiteMonitor.h"
#include "ui/MainWindowForm.h"
#include "ui/SiteListModel.h"

#include <QItemSelectionModel>
#include <QTableView>

#include <vector>

namespace vantrel {

SiteListView::SiteListView(SiteMonitor& engine, SiteEditor& editor)
    : engine_(engine), editor_(editor), model_(std::make_unique<SiteListModel>(engine.sites())) {
    autoSize_.setSingleShot(true);
    connect(&autoSize_, &QTimer::timeout, this, &SiteListView::autoSizeColumns);
}

SiteListView::~SiteListView() {
    detach();
}

void SiteListView::attach(MainWindowForm& form) {
    form_ = &form;
}

void SiteListView::detach() {
    // The model detaches from the list before the engine goes.
    if (form_)
        form_->list->setModel(nullptr);
    form_ = nullptr;
}

void SiteListView::autoSizeColumnsSoon() {
    if (!engine_.passRunning())
        autoSize_.start(0);
    else if (!autoSize_.isActive())
        autoSize_.start(kPassResize);
}

void SiteListView::autoSizeColumns() {
    autoSize_.stop();
    if (form_)
        form_->sizeColumns(*model_);
}

int SiteListView::markedRow() const {
    QItemSelectionModel* selection = form_ ? form_->list->selectionModel() : nullptr;
    const QModelIndex current = selection ? selection->currentIndex() : QModelIndex();
    if (!current.isValid() || current.row() >= engine_.sites().rowCount())
        return -1;
    return current.row();
}

void SiteListView::markShownRow() {
    const int marked = markedRow();
    if (marked < 0 || engine_.sites().row(marked) == engine_.data().entry)
        return;
    const SiteList& sites = engine_.sites();
    int shown = -1;
    for (int r = 0; r < sites.rowCount() && shown < 0; ++r)
        shown = sites.row(r) == engine_.data().entry ? r : -1;
    QItemSelectionModel* selection = form_->list->selectionModel();
    if (shown < 0) {
        selection->clear();
        return;
    }
    selection->setCurrentIndex(model_->index(shown, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void SiteListView::sortByColumn(int column) {
    // Sorting moves texts between rows; the selection and the marked row stay
    // at their positions, although the model's reset makes the view forget them.
    QItemSelectionModel* selection = form_->list->selectionModel();
    const int marked = markedRow();
    std::vector<int> selectedRows;
    for (const QModelIndex& index : selection->selectedRows())
        selectedRows.push_back(index.row());
    editor_.SortByColumn(column);
    for (int row : selectedRows)
        selection->select(model_->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (marked >= 0)
        selection->setCurrentIndex(model_->index(marked, 0), QItemSelectionModel::NoUpdate);
}

} // namespace vantrel
