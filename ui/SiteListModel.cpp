#include "ui/SiteListModel.h"

#include "model/SiteList.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

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
    const SiteEntry& site = list_.row(index.row());
    // The status cell's tip says why the last check failed or was slow.
    if (role == Qt::ToolTipRole && index.column() == kStatusColumn && !site.reason.empty() &&
        site.status != "OK" && site.status != "New")
        return QtText::toQt(site.status + ": " + site.reason);
    // A site that accepts any certificate carries a warning mark by its URL.
    if (index.column() == kUrlColumn && site.options.insecure == "yes") {
        if (role == Qt::DecorationRole)
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        if (role == Qt::ToolTipRole)
            return QtText::toQt(site.url) + QStringLiteral("\nINSECURE: any certificate is accepted");
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
        return QtText::toQt(site.column(index.column()));
    if (role == Qt::DecorationRole && index.column() == kStatusColumn)
        return statusMark(list_.row(index.row()).status);
    return {};
}

QIcon SiteListModel::statusMark(const std::string& status) {
    // Drawn once per colour: a filled dot beside the status text.
    auto dot = [](QColor colour) {
        QPixmap pixmap(kMarkSize, kMarkSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(colour.darker(140));
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(1.5, 1.5, kMarkSize - 3, kMarkSize - 3));
        return QIcon(pixmap);
    };
    static const QIcon good = dot(QColor(0x2e, 0xa0, 0x43));
    static const QIcon failed = dot(QColor(0xd0, 0x20, 0x20));
    static const QIcon missing = dot(QColor(0xe0, 0x9a, 0x10));
    static const QIcon slow = dot(QColor(0x30, 0x70, 0xd0));
    if (status == "OK")
        return good;
    if (status == "404")
        return failed;
    if (status == "Bad - Test String text Not Found")
        return missing;
    if (status == "Slow")
        return slow;
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
