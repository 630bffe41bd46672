#include "ui/SiteListModel.h"

#include "model/SiteList.h"
#include "ui/QtText.h"

namespace vantrel {

SiteListModel::SiteListModel(SiteList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {
    list_.setObserver(this);
}

SiteListModel::~SiteListModel() {
    list_.setObserver(nullptr);
}

int SiteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.rowCount();
}

int SiteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : SiteEntry::kColumnCount;
}

QVariant SiteListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !list_.isValidRow(index.row()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
        return QtText::toQt(list_.row(index.row()).column(index.column()));
    return {};
}

QString SiteListModel::headerText(int column) {
    static const char* const kHeaders[SiteEntry::kColumnCount] = {
        "Site Title", "Site URL", "Test String", "Action", "URL", "Create Date", "Check Date", "Status"};
    return (column >= 0 && column < SiteEntry::kColumnCount) ? QString::fromLatin1(kHeaders[column])
                                                             : QString();
}

QVariant SiteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headerText(section);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void SiteListModel::rowsAboutToBeInserted(int first, int last) {
    insertFirst_ = first;
    insertLast_ = last;
    beginInsertRows({}, first, last);
}

void SiteListModel::rowsInserted() {
    widths_.rowsInserted(list_, insertFirst_, insertLast_);
    endInsertRows();
}

void SiteListModel::rowsAboutToBeRemoved(int first, int last) {
    widths_.rowsAboutToBeRemoved(first, last);
    beginRemoveRows({}, first, last);
}

void SiteListModel::rowsRemoved() {
    endRemoveRows();
}

void SiteListModel::rowsChanged(int first, int last) {
    widths_.rowsChanged(list_, first, last);
    emit dataChanged(index(first, 0), index(last, SiteEntry::kColumnCount - 1));
}

void SiteListModel::aboutToReset() {
    beginResetModel();
}

void SiteListModel::reset() {
    widths_.rebuild(list_);
    endResetModel();
}

} // namespace vantrel
