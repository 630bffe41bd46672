#include "ui/SiteListModel.h"

#include "model/Clock.h"
#include "model/ExtraSettings.h"
#include "model/SiteList.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QStyle>

namespace vantrel {

SiteListModel::SiteListModel(const SiteList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
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
    // The first column shows the state at a glance; its tip and description
    // say which state, and why.
    if (index.column() == kTitleColumn) {
        if (role == Qt::DecorationRole)
            return stateMark(stateOf(site), site.status);
        if (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole) {
            static const ExtraSettings none;
            const std::string state =
                SiteState::describe(site, settings_ ? *settings_ : none, clock_ ? clock_->now() : 0);
            return role == Qt::ToolTipRole ? QtText::toQt(site.title + "\n" + state) : QtText::toQt(state);
        }
    }
    // The status cell's tip says why the last check failed or was slow.
    if (role == Qt::ToolTipRole && index.column() == kStatusColumn && !site.reason.empty() &&
        site.status != "OK" && site.status != "New")
        return QtText::toQt(site.status + ": " + site.reason);
    // A site that accepts any certificate carries a warning mark by its URL.
    if (index.column() == kUrlColumn && site.options.insecure == "yes") {
        if (role == Qt::DecorationRole)
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        if (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
            return QtText::toQt(site.url) + QStringLiteral("\n") + QString::fromLatin1(kInsecureText);
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
        return QtText::toQt(site.column(index.column()));
    if (role == Qt::DecorationRole && index.column() == kStatusColumn)
        return statusMark(site.status);
    return {};
}

namespace {

// A mark of its own shape for each state, so that it reads without its colour.
enum class Shape { Dot, Cross, Diamond, Clock, Moon, Ring };

QIcon drawMark(Shape shape, QColor colour) {
    constexpr int n = SiteListModel::kMarkSize;
    QPixmap pixmap(n, n);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour.darker(140), 1.2));
    painter.setBrush(colour);
    const QRectF box(1.5, 1.5, n - 3, n - 3);
    const QPointF mid = box.center();
    switch (shape) {
    case Shape::Dot:
        painter.drawEllipse(box);
        break;
    case Shape::Cross:
        painter.drawRect(box);
        painter.setPen(QPen(Qt::white, 1.6));
        painter.drawLine(box.topLeft() + QPointF(2.5, 2.5), box.bottomRight() - QPointF(2.5, 2.5));
        painter.drawLine(box.topRight() + QPointF(-2.5, 2.5), box.bottomLeft() + QPointF(2.5, -2.5));
        break;
    case Shape::Diamond:
        painter.drawPolygon(QPolygonF({QPointF(mid.x(), box.top()), QPointF(box.right(), mid.y()),
                                       QPointF(mid.x(), box.bottom()), QPointF(box.left(), mid.y())}));
        break;
    case Shape::Moon: { // a crescent: the disc less a disc beside it
        QPainterPath moon;
        moon.addEllipse(box);
        QPainterPath bite;
        bite.addEllipse(box.translated(box.width() * 0.4, -box.height() * 0.25));
        painter.drawPath(moon.subtracted(bite));
        break;
    }
    case Shape::Ring: // hollow, dashed: nothing known yet
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colour, 1.6, Qt::DashLine));
        painter.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
        break;
    case Shape::Clock: // a dial with two hands
        painter.setBrush(Qt::white);
        painter.setPen(QPen(colour, 1.6));
        painter.drawEllipse(box);
        painter.drawLine(mid, QPointF(mid.x(), box.top() + 2.5));
        painter.drawLine(mid, QPointF(box.right() - 2.5, mid.y()));
        break;
    }
    return QIcon(pixmap);
}

} // namespace

QIcon SiteListModel::statusMark(const std::string& status) {
    static const QIcon good = drawMark(Shape::Dot, QColor(0x2e, 0xa0, 0x43));
    static const QIcon failed = drawMark(Shape::Cross, QColor(0xd0, 0x20, 0x20));
    static const QIcon missing = drawMark(Shape::Diamond, QColor(0xe0, 0x9a, 0x10));
    static const QIcon slow = drawMark(Shape::Clock, QColor(0x30, 0x70, 0xd0));
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

SiteStateKind SiteListModel::stateOf(const SiteEntry& site) const {
    return settings_ && clock_ ? SiteState::of(site, *settings_, clock_->now())
                               : SiteState::ofStatus(site.status);
}

QIcon SiteListModel::stateMark(SiteStateKind state, const std::string& status) {
    static const QIcon snoozed = drawMark(Shape::Moon, QColor(0x80, 0x50, 0xb0));
    static const QIcon unchecked = drawMark(Shape::Ring, QColor(0x80, 0x80, 0x80));
    static const QIcon failed = drawMark(Shape::Cross, QColor(0xd0, 0x20, 0x20));
    switch (state) {
    case SiteStateKind::Snoozed:
        return snoozed;
    case SiteStateKind::NotChecked:
        return unchecked;
    case SiteStateKind::Down: {
        const QIcon mark = statusMark(status);
        return mark.isNull() ? failed : mark;
    }
    case SiteStateKind::Up:
    case SiteStateKind::Slow:
        break;
    }
    return statusMark(status);
}

void SiteListModel::statesChanged() {
    if (list_.rowCount() > 0)
        emit dataChanged(index(0, kTitleColumn), index(list_.rowCount() - 1, kTitleColumn),
                         {Qt::DecorationRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole});
}

int SiteListModel::markWidth(int column) const {
    if (column == kStatusColumn || column == kTitleColumn)
        return kMarkSize + 8;
    if (column == kUrlColumn)
        for (int r = 0; r < list_.rowCount(); ++r)
            if (list_.row(r).options.insecure == "yes")
                return kMarkSize + 8;
    return 0;
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
