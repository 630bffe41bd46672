#include "ui/MainWindowForm.h"

#include "ui/BoundText.h"
#include "ui/DialogUnits.h"
#include "ui/EntryBoxes.h"
#include "ui/HistoryPanel.h"
#include "ui/NamedComboAccessible.h"
#include "ui/SiteListModel.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <array>

namespace vantrel {

namespace {

const char* const kActions[] = {"Email", "Email / Sound", "Email / URL", "Email / URL / Sound",
                                "URL",   "URL / Sound",   "Sound"};

QLineEdit* makeEdit(QWidget* parent, const QRect& r, bool readOnly) {
    auto* e = new QLineEdit(parent);
    e->setGeometry(r);
    e->setReadOnly(readOnly);
    BoundText::allowAnyLength(e);
    return e;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& r, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(r);
    if (buddy) {
        l->setBuddy(buddy);
        buddy->setAccessibleName(QString(text).remove(QLatin1Char(':')).remove(QLatin1Char('&')));
    }
    return l;
}

QPushButton* makeButton(QWidget* parent, const QString& text, const QRect& r) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(r);
    b->setAutoDefault(false);
    b->setAccessibleName(text);
    return b;
}

} // namespace

MainWindowForm::MainWindowForm(QWidget* clientArea, SiteListModel* model) : client(clientArea) {
    // Created in tab order: the entry boxes, the list, then the right column.
    makeEntryBoxes();
    makeList(model);
    makeRightColumn();
}

MainWindowForm::~MainWindowForm() = default;

void MainWindowForm::makeEntryBoxes() {
    using D = DialogUnits;
    QWidget* c = client;
    siteName = makeEdit(c, D::rect(49, 0, 175, 14), false);
    url = makeEdit(c, D::rect(49, 15, 175, 14), false);
    testString = makeEdit(c, D::rect(49, 29, 175, 14), false);
    action = new QComboBox(c);
    action->setEditable(true);
    action->setInsertPolicy(QComboBox::NoInsert);
    action->setCompleter(nullptr); // a typed "email" must stay as typed
    BoundText::allowAnyLength(action);
    QStringList actions;
    for (const char* a : kActions)
        actions << QString::fromLatin1(a);
    actions.sort(Qt::CaseSensitive); // a sorted combo box lists its items alphabetically
    action->addItems(actions);
    action->setGeometry(D::x(49), D::y(43), D::x(175), D::y(14));
    action->setMaxVisibleItems(7);
    NamedComboAccessible::nameByLabel(action); // "Action", not its current text
    action->lineEdit()->setAccessibleName(QStringLiteral("Action"));
    errorUrl = makeEdit(c, D::rect(49, 56, 175, 14), false);
    createDate = makeEdit(c, D::rect(49, 70, 59, 14), true);
    entryStatus = makeEdit(c, D::rect(49, 84, 59, 14), true);
    checkDate = makeEdit(c, D::rect(165, 84, 59, 14), true);
    advanced = makeButton(c, QStringLiteral("Ad&vanced..."), D::rect(165, 70, 59, 14)); // Alt+V
    advanced->setAccessibleName(QStringLiteral("Advanced..."));
    entryBoxes =
        std::make_unique<EntryBoxes>(std::array<QLineEdit*, 8>{siteName, url, testString, nullptr, errorUrl,
                                                               createDate, checkDate, entryStatus},
                                     action);

    makeLabel(c, QStringLiteral("Site &Name:"), D::rect(6, 3, 42, 8), siteName);
    makeLabel(c, QStringLiteral("&URL:"), D::rect(6, 18, 42, 8), url);
    makeLabel(c, QStringLiteral("&Test String:"), D::rect(6, 32, 42, 8), testString);
    makeLabel(c, QStringLiteral("&Action:"), D::rect(6, 46, 42, 8), action);
    makeLabel(c, QStringLiteral("&Error URL:"), D::rect(6, 59, 42, 8), errorUrl);
    makeLabel(c, QStringLiteral("Create Date:"), D::rect(6, 73, 42, 8), createDate);
    makeLabel(c, QStringLiteral("Status:"), D::rect(6, 87, 42, 8), entryStatus);
    checkDateLabel = makeLabel(c, QStringLiteral("Check Date:"), D::rect(115, 87, 48, 8), checkDate);
}

void MainWindowForm::makeList(SiteListModel* model) {
    split = new QSplitter(Qt::Vertical, client);
    split->setGeometry(DialogUnits::rect(6, 99, 217, 93));
    split->setChildrenCollapsible(true);
    list = new QTableView(split);
    list->setModel(model);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setSortingEnabled(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->horizontalHeader()->setSectionsClickable(true);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->setAccessibleName(QStringLiteral("Sites"));
    list->setTabKeyNavigation(false); // Tab leaves the list for the next control
    list->setIconSize(QSize(SiteListModel::kMarkSize, SiteListModel::kMarkSize));
}

void MainWindowForm::makeRightColumn() {
    using D = DialogUnits;
    QWidget* c = client;
    quit = makeButton(c, QStringLiteral("Quit"), D::rect(227, 2, 50, 14));
    quit->setDefault(true);
    monitor = makeButton(c, QStringLiteral("Monitor"), D::rect(227, 16, 50, 14));
    add = makeButton(c, QStringLiteral("Add"), D::rect(227, 31, 50, 14));
    update = makeButton(c, QStringLiteral("Update"), D::rect(227, 45, 50, 14));
    remove = makeButton(c, QStringLiteral("Remove"), D::rect(227, 59, 50, 14));
    clear = makeButton(c, QStringLiteral("Clear"), D::rect(227, 73, 50, 14));
    total = makeEdit(c, D::rect(227, 97, 50, 14), true);
    totalLabel = makeLabel(c, QStringLiteral("Total Sites:"), D::rect(233, 88, 40, 8), total);
    checks = makeEdit(c, D::rect(227, 121, 50, 14), true);
    checksLabel = makeLabel(c, QStringLiteral("Checks"), D::rect(233, 112, 25, 8), checks);
    status = makeEdit(c, D::rect(227, 145, 50, 14), true);
    statusLabel = makeLabel(c, QStringLiteral("Status:"), D::rect(240, 136, 25, 8), status);
    status->setAccessibleName(QStringLiteral("Monitor Status"));
    entryStatus->setAccessibleName(QStringLiteral("Site Status"));
    preferences = makeButton(c, QStringLiteral("Preferences"), D::rect(227, 164, 50, 14));
    footer = new QLabel(
        QStringLiteral("Vantrel - Website Monitoring Software - checks your sites while you work"), c);
    footer->setGeometry(D::rect(3, 193, 273, 8));
    footer->setObjectName(QStringLiteral("footer")); // named for assistive tools by its text
    failureLine = new QLabel(c);
    failureLine->setGeometry(footer->geometry());
    failureLine->setTextFormat(Qt::PlainText);
    failureLine->setObjectName(QStringLiteral("mailFailure"));
    failureLine->setStyleSheet(QStringLiteral("color: #b00000;"));
    failureLine->hide();
    historyPanel = new HistoryPanel(c);
    split->addWidget(historyPanel);
    split->setCollapsible(0, false); // the list stays; the history folds away
}

void MainWindowForm::layout(int cx, int cy) {
    // The right-hand column follows the right edge; the list and the long
    // entry boxes take the width that is left; the footer stays at the bottom.
    footer->setGeometry(3, cy - 17, 415, 15);
    failureLine->setGeometry(3, cy - 17, std::max(0, cx - 6), 15);
    showFailure(failureLine->toolTip()); // cut again to the new width
    // The list and the history panel below it share the column left of the
    // buttons, down to the footer. The panel keeps its height while the
    // window is tall enough and gives way first when it is not, down to a
    // list of a few rows; all other height goes to the list.
    constexpr int kListMinimum = 40;
    const QList<int> before = split->sizes();
    const bool laidOut = before.value(0) + before.value(1) > 0;
    const int pane = laidOut ? before.value(1) : kHistoryPanelHeight;
    const int room = std::max(0, cy - 175);
    split->resize(std::max(0, cx - 96), historyPanel->isHidden() ? room : std::max(0, room - 18));
    if (!historyPanel->isHidden()) {
        const int total = std::max(0, split->height() - split->handleWidth());
        const int kept = std::clamp(pane, 0, std::max(0, total - kListMinimum));
        split->setSizes({total - kept, kept});
    }
    for (QLineEdit* e : {siteName, url, testString, errorUrl})
        e->resize(std::max(0, cx - 160), e->height());
    action->resize(std::max(0, cx - 160), action->height());
    // The read-only Status and Check Date boxes share the width the long
    // boxes gained; the Advanced button stays above Check Date.
    const int gained = std::max(0, cx - 160 - DialogUnits::x(175));
    entryStatus->resize(DialogUnits::x(59) + gained / 2, entryStatus->height());
    checkDateLabel->move(DialogUnits::x(115) + gained / 2, checkDateLabel->y());
    checkDate->setGeometry(DialogUnits::x(165) + gained / 2, checkDate->y(),
                           DialogUnits::x(59) + gained - gained / 2, checkDate->height());
    advanced->move(checkDate->x(), advanced->y());
    const int x = cx - 85;
    totalLabel->setGeometry(x, 141, 75, 16);
    total->setGeometry(x, 157, 75, 23);
    checksLabel->setGeometry(x, 181, 75, 16);
    checks->setGeometry(x, 197, 75, 23);
    statusLabel->setGeometry(x, 221, 75, 15);
    status->setGeometry(x, 236, 75, 23);
    quit->setGeometry(x, 1, 75, 23);
    monitor->setGeometry(x, 29, 75, 23);
    add->setGeometry(x, 51, 75, 23);
    update->setGeometry(x, 73, 75, 23);
    remove->setGeometry(x, 95, 75, 23);
    clear->setGeometry(x, 118, 75, 23);
    preferences->setGeometry(x, 263, 75, 23);
}

void MainWindowForm::enableToolTips(bool on) {
    struct Tip {
        QWidget* widget;
        const char* text;
    };
    const Tip tips[] = {
        {siteName, "A name for the site"},
        {url, "The address of the page to check, with http:// or https://"},
        {testString, "Text the page must contain; leave empty to check only that the page loads"},
        {action, "How a failure is announced"},
        {errorUrl, "An address to call when the site fails"},
        {list, "Click a row to load it; click a column header to sort"},
        {monitor, "Switch monitoring on or off"},
        {add, "Add the entry as a new site"},
        {update, "Store the entry into the marked row"},
        {remove, "Remove the marked row"},
        {clear, "Empty the entry boxes"},
        {preferences, "Mail, log, sound and interval settings"},
        {quit, "Save the site list and quit"},
    };
    for (const Tip& t : tips)
        t.widget->setToolTip(on ? QString::fromLatin1(t.text) : QString());
}

void MainWindowForm::sizeColumns(SiteListModel& model) {
    const QFontMetrics headFm(list->horizontalHeader()->font());
    const int margin = 2 * list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 12;
    for (int c = 0; c < SiteEntry::kColumnCount; ++c) {
        const int header = headFm.horizontalAdvance(SiteListModel::headerText(c));
        // Status cells, and URLs that accept any certificate, carry a mark before the text.
        const int mark = model.markWidth(c);
        list->horizontalHeader()->resizeSection(c,
                                                std::max(model.widths().widest(c) + mark, header) + margin);
    }
}

int MainWindowForm::listHeightFor(int rows) const {
    // The scroll bar counts too: the columns are often wider than the list.
    return list->horizontalHeader()->sizeHint().height() +
           rows * list->verticalHeader()->defaultSectionSize() +
           list->horizontalScrollBar()->sizeHint().height() + 2 * list->frameWidth();
}

void MainWindowForm::showFailure(const QString& failure) {
    const bool failed = !failure.isEmpty();
    failureLine->setText(
        failureLine->fontMetrics().elidedText(failure, Qt::ElideRight, failureLine->width()));
    failureLine->setToolTip(failure);
    failureLine->setAccessibleName(failure); // the whole text, where the line cuts it
    failureLine->setVisible(failed);
    footer->setVisible(!failed);
}

} // namespace vantrel
