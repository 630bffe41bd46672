#include "app/SiteMonitorDlg.h"

#include "app/MetricsServer.h"
#include "history/SqliteCheckHistory.h"
#include "model/DataFile.h"
#include "model/ExtraSettingsFile.h"
#include "monitor/HistoryCsv.h"
#include "monitor/MetricsText.h"
#include "monitor/SiteRequest.h"
#include "notify/SmtpMailer.h"
#include "ui/AboutDlg.h"
#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"
#include "ui/EntryBoxes.h"
#include "ui/HistoryPanel.h"
#include "ui/ImportPreviewDlg.h"
#include "ui/NamedComboAccessible.h"
#include "ui/PreferencesDlg.h"
#include "ui/QtText.h"
#include "ui/SiteListModel.h"
#include "ui/SiteOptionsDlg.h"
#include "ui/TaskbarHint.h"
#include "ui/TrayIcon.h"
#include "ui/WidgetWindow.h"
#include "ui/WindowGeometry.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

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

CSiteMonitorDlg::CSiteMonitorDlg(QWidget* parent)
    : QDialog(parent), engine_(*this, MonitorServices{&pump_, &clock_, &http_, &sound_, nullptr, &secrets_,
                                                      &desktop_.alerts()}) {
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(TrayIcon::icon(TrayIcon::kAppIcon));
    setFont(DialogFont::fitted(font())); // the font the layout's units are made for
    model_ = std::make_unique<SiteListModel>(engine_.sites());
    model_->widths().setMeasure([fm = QFontMetrics(font())](const std::string& text) {
        return fm.horizontalAdvance(QtText::toQt(text));
    });
    window_ = new WidgetWindow(*this);
    geometry_ = new WindowGeometry(*this);
    createMenu();
    createControls();
    DialogFont::widenTexts(*this);
    setMinimumSize(435, 380);
    // The history panel adds its height below the list; the controls above
    // it keep their places.
    resize(DialogUnits::x(284), DialogUnits::y(202) + menuBar_->sizeHint().height() + kHistoryPanelHeight);

    checkTimer_.setSingleShot(false);
    connect(&checkTimer_, &QTimer::timeout, this, &CSiteMonitorDlg::OnTimer);
    autoSizeTimer_.setSingleShot(true);
    autoSizeTimer_.setInterval(0);
    connect(&autoSizeTimer_, &QTimer::timeout, this, &CSiteMonitorDlg::doAutoSizeColumns);
    // Checks change rows one by one: the panel follows once they settle.
    historyTimer_.setSingleShot(true);
    historyTimer_.setInterval(300);
    connect(&historyTimer_, &QTimer::timeout, this, &CSiteMonitorDlg::refreshHistory);
    connect(model_.get(), &QAbstractItemModel::dataChanged, this, [this] { historyTimer_.start(); });
    connect(model_.get(), &QAbstractItemModel::modelReset, this, [this] { historyTimer_.start(); });
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { historyTimer_.start(); });
    chooseExportFile = [this] { return chooseExportFileWithDialog(); };

    TrayIcon* tray = &desktop_.tray();
    connect(tray, &TrayIcon::restoreRequested, this, &CSiteMonitorDlg::OnTrayRestore);
    connect(tray, &TrayIcon::helpRequested, this, &CSiteMonitorDlg::OnManual);
    connect(tray, &TrayIcon::quitRequested, this, &CSiteMonitorDlg::OnFileQuit);
    connect(tray, &TrayIcon::preferencesRequested, this, &CSiteMonitorDlg::OnPreferences);
    connect(&desktop_.alerts(), &DesktopAlerts::failureChanged, this, &CSiteMonitorDlg::showMailFailure);
    connect(tray, &TrayIcon::stateChanged, this, [this](int id, const QString& tip) {
        if (!TrayIcon::trayAvailable()) {
            setWindowIcon(TrayIcon::icon(id));
            setToolTip(tip);
        }
    });
}

CSiteMonitorDlg::~CSiteMonitorDlg() {
    // The model detaches from the list before the engine goes, and the
    // engine lets go of the history before it is closed.
    list_->setModel(nullptr);
    model_.reset();
    metrics_.reset();
    engine_.setHistory(nullptr);
    history_.reset();
}

void CSiteMonitorDlg::createMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setFont(QApplication::font(menuBar_)); // menus keep the desktop's font
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Save"), this, &CSiteMonitorDlg::OnFileSave);
    QMenu* exportMenu = file->addMenu(QStringLiteral("Export &History"));
    exportMenu->addAction(QStringLiteral("&Selected Site..."), this, [this] { OnExportHistory(false); });
    exportMenu->addAction(QStringLiteral("&All Sites..."), this, [this] { OnExportHistory(true); });
    file->addAction(QStringLiteral("&Import Sites..."), this,
                    [this] { ImportPreviewDlg::importInto(engine_, this); });
    file->addAction(QStringLiteral("&Quit"), this, &CSiteMonitorDlg::OnFileQuit);
    QMenu* entry = menuBar_->addMenu(QStringLiteral("&Entry"));
    entry->addAction(QStringLiteral("&Add"), this, &CSiteMonitorDlg::OnAdd);
    entry->addAction(QStringLiteral("&Update"), this, &CSiteMonitorDlg::OnUpdate);
    entry->addAction(QStringLiteral("&Delete"), this, &CSiteMonitorDlg::OnRemove);
    entry->addAction(QStringLiteral("&Clear"), this, &CSiteMonitorDlg::OnClear);
    QMenu* options = menuBar_->addMenu(QStringLiteral("&Options"));
    options->addAction(QStringLiteral("&Preferences"), this, &CSiteMonitorDlg::OnPreferences);
    options->addAction(QStringLiteral("&Clear All Entries"), this, &CSiteMonitorDlg::OnClearAll);
    options->addAction(QStringLiteral("&Monitor"), this, &CSiteMonitorDlg::ToggleMonitor);
    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About"), this, &CSiteMonitorDlg::OnAbout);
    help->addAction(QStringLiteral("&Manual"), this, &CSiteMonitorDlg::OnManual);
    help->addAction(QStringLiteral("&Support"), this, &CSiteMonitorDlg::OnSupport);
    help->addAction(QStringLiteral("More &Info"), this, &CSiteMonitorDlg::OnMoreInfo);
    help->addAction(QStringLiteral("&Uninstall"), this, &CSiteMonitorDlg::OnUninstall);
}

void CSiteMonitorDlg::createControls() {
    using D = DialogUnits;
    client_ = new QWidget(this);
    QWidget* c = client_;
    // Created in tab order: the entry boxes, the list, then the right column.
    siteName_ = makeEdit(c, D::rect(49, 0, 175, 14), false);
    url_ = makeEdit(c, D::rect(49, 15, 175, 14), false);
    testString_ = makeEdit(c, D::rect(49, 29, 175, 14), false);
    action_ = new QComboBox(c);
    action_->setEditable(true);
    action_->setInsertPolicy(QComboBox::NoInsert);
    action_->setCompleter(nullptr); // a typed "email" must stay as typed
    BoundText::allowAnyLength(action_);
    QStringList actions;
    for (const char* a : kActions)
        actions << QString::fromLatin1(a);
    actions.sort(Qt::CaseSensitive); // a sorted combo box lists its items alphabetically
    action_->addItems(actions);
    action_->setGeometry(D::x(49), D::y(43), D::x(175), D::y(14));
    action_->setMaxVisibleItems(7);
    NamedComboAccessible::nameByLabel(action_); // "Action", not its current text
    action_->lineEdit()->setAccessibleName(QStringLiteral("Action"));
    errorUrl_ = makeEdit(c, D::rect(49, 56, 175, 14), false);
    createDate_ = makeEdit(c, D::rect(49, 70, 59, 14), true);
    entryStatus_ = makeEdit(c, D::rect(49, 84, 59, 14), true);
    checkDate_ = makeEdit(c, D::rect(165, 84, 59, 14), true);
    advanced_ = makeButton(c, QStringLiteral("Ad&vanced..."), D::rect(165, 70, 59, 14)); // Alt+V
    advanced_->setAccessibleName(QStringLiteral("Advanced..."));
    entryBoxes_ = std::make_unique<EntryBoxes>(std::array<QLineEdit*, 8>{siteName_, url_, testString_,
                                                                         nullptr, errorUrl_, createDate_,
                                                                         checkDate_, entryStatus_},
                                               action_);

    makeLabel(c, QStringLiteral("Site &Name:"), D::rect(6, 3, 42, 8), siteName_);
    makeLabel(c, QStringLiteral("&URL:"), D::rect(6, 18, 42, 8), url_);
    makeLabel(c, QStringLiteral("&Test String:"), D::rect(6, 32, 42, 8), testString_);
    makeLabel(c, QStringLiteral("&Action:"), D::rect(6, 46, 42, 8), action_);
    makeLabel(c, QStringLiteral("&Error URL:"), D::rect(6, 59, 42, 8), errorUrl_);
    makeLabel(c, QStringLiteral("Create Date:"), D::rect(6, 73, 42, 8), createDate_);
    makeLabel(c, QStringLiteral("Status:"), D::rect(6, 87, 42, 8), entryStatus_);
    checkDateLabel_ = makeLabel(c, QStringLiteral("Check Date:"), D::rect(115, 87, 48, 8), checkDate_);

    list_ = new QTableView(c);
    list_->setGeometry(D::rect(6, 99, 217, 93));
    list_->setModel(model_.get());
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setSortingEnabled(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->horizontalHeader()->setSectionsClickable(true);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->setAccessibleName(QStringLiteral("Sites"));
    list_->setTabKeyNavigation(false); // Tab leaves the list for the next control
    list_->setIconSize(QSize(SiteListModel::kMarkSize, SiteListModel::kMarkSize));
    connect(list_, &QTableView::clicked, this, [this] { OnListClick(); });
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this, &CSiteMonitorDlg::OnColumnClick);

    quit_ = makeButton(c, QStringLiteral("Quit"), D::rect(227, 2, 50, 14));
    quit_->setDefault(true);
    monitor_ = makeButton(c, QStringLiteral("Monitor"), D::rect(227, 16, 50, 14));
    add_ = makeButton(c, QStringLiteral("Add"), D::rect(227, 31, 50, 14));
    update_ = makeButton(c, QStringLiteral("Update"), D::rect(227, 45, 50, 14));
    remove_ = makeButton(c, QStringLiteral("Remove"), D::rect(227, 59, 50, 14));
    clear_ = makeButton(c, QStringLiteral("Clear"), D::rect(227, 73, 50, 14));
    total_ = makeEdit(c, D::rect(227, 97, 50, 14), true);
    totalLabel_ = makeLabel(c, QStringLiteral("Total Sites:"), D::rect(233, 88, 40, 8), total_);
    checks_ = makeEdit(c, D::rect(227, 121, 50, 14), true);
    checksLabel_ = makeLabel(c, QStringLiteral("Checks"), D::rect(233, 112, 25, 8), checks_);
    status_ = makeEdit(c, D::rect(227, 145, 50, 14), true);
    statusLabel_ = makeLabel(c, QStringLiteral("Status:"), D::rect(240, 136, 25, 8), status_);
    status_->setAccessibleName(QStringLiteral("Monitor Status"));
    entryStatus_->setAccessibleName(QStringLiteral("Site Status"));
    preferences_ = makeButton(c, QStringLiteral("Preferences"), D::rect(227, 164, 50, 14));
    footer_ = new QLabel(
        QStringLiteral("Vantrel - Website Monitoring Software - checks your sites while you work"), c);
    footer_->setGeometry(D::rect(3, 193, 273, 8));
    footer_->setObjectName(QStringLiteral("footer")); // named for assistive tools by its text
    mailFailureLabel_ = new QLabel(c);
    mailFailureLabel_->setGeometry(footer_->geometry());
    mailFailureLabel_->setTextFormat(Qt::PlainText);
    mailFailureLabel_->setObjectName(QStringLiteral("mailFailure"));
    mailFailureLabel_->setStyleSheet(QStringLiteral("color: #b00000;"));
    mailFailureLabel_->hide();
    historyPanel_ = new HistoryPanel(c);

    connect(quit_, &QPushButton::clicked, this, &QDialog::accept);
    connect(monitor_, &QPushButton::clicked, this, &CSiteMonitorDlg::ToggleMonitor);
    connect(add_, &QPushButton::clicked, this, &CSiteMonitorDlg::OnAdd);
    connect(update_, &QPushButton::clicked, this, &CSiteMonitorDlg::OnUpdate);
    connect(remove_, &QPushButton::clicked, this, &CSiteMonitorDlg::OnRemove);
    connect(clear_, &QPushButton::clicked, this, &CSiteMonitorDlg::OnClear);
    connect(preferences_, &QPushButton::clicked, this, &CSiteMonitorDlg::OnPreferences);
    connect(advanced_, &QPushButton::clicked, this, &CSiteMonitorDlg::OnAdvanced);
}

void CSiteMonitorDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int menuHeight = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, width(), menuHeight);
    client_->setGeometry(0, menuHeight, width(), height() - menuHeight);
    layoutControls(client_->width(), client_->height());
}

void CSiteMonitorDlg::layoutControls(int cx, int cy) {
    // The right-hand column follows the right edge; the list and the long
    // entry boxes take the width that is left; the footer stays at the bottom.
    footer_->setGeometry(3, cy - 17, 415, 15);
    mailFailureLabel_->setGeometry(3, cy - 17, std::max(0, cx - 6), 15);
    showMailFailure();
    // The history panel sits between the list and the footer, across the
    // window. It keeps its height while the window is tall enough and gives
    // way first when it is not, down to a list of a few rows.
    constexpr int kListMinimum = 40;
    const int room = std::max(0, cy - 175);
    const int panel = historyPanel_->isHidden() ? 0 : std::clamp(room - kListMinimum, 0, kHistoryPanelHeight);
    list_->resize(std::max(0, cx - 96), room - panel);
    if (panel > 0)
        historyPanel_->setGeometry(list_->x(), list_->y() + room - panel + 4,
                                   std::max(0, cx - 2 * list_->x()), std::max(0, panel - 22));
    for (QLineEdit* e : {siteName_, url_, testString_, errorUrl_})
        e->resize(std::max(0, cx - 160), e->height());
    action_->resize(std::max(0, cx - 160), action_->height());
    // The read-only Status and Check Date boxes share the width the long
    // boxes gained; the Advanced button stays above Check Date.
    const int gained = std::max(0, cx - 160 - DialogUnits::x(175));
    entryStatus_->resize(DialogUnits::x(59) + gained / 2, entryStatus_->height());
    checkDateLabel_->move(DialogUnits::x(115) + gained / 2, checkDateLabel_->y());
    checkDate_->setGeometry(DialogUnits::x(165) + gained / 2, checkDate_->y(),
                            DialogUnits::x(59) + gained - gained / 2, checkDate_->height());
    advanced_->move(checkDate_->x(), advanced_->y());
    const int x = cx - 85;
    totalLabel_->setGeometry(x, 141, 75, 16);
    total_->setGeometry(x, 157, 75, 23);
    checksLabel_->setGeometry(x, 181, 75, 16);
    checks_->setGeometry(x, 197, 75, 23);
    statusLabel_->setGeometry(x, 221, 75, 15);
    status_->setGeometry(x, 236, 75, 23);
    quit_->setGeometry(x, 1, 75, 23);
    monitor_->setGeometry(x, 29, 75, 23);
    add_->setGeometry(x, 51, 75, 23);
    update_->setGeometry(x, 73, 75, 23);
    remove_->setGeometry(x, 95, 75, 23);
    clear_->setGeometry(x, 118, 75, 23);
    preferences_->setGeometry(x, 263, 75, 23);
}

void CSiteMonitorDlg::OnInitDialog() {
    desktop_.tray().add();
    desktop_.tray().showOn();
    doAutoSizeColumns(); // the columns as wide as their headers before any row exists
    engine_.startUp();
    if (!unattended_)
        geometry_->restore(engine_.extraSettings().windowGeometry);
    readSecretsAhead();
    mailPassword_.load();
    openHistory();
    if (unattended_)
        startMetrics();
}

void CSiteMonitorDlg::openHistory() {
    const ExtraSettings& x = engine_.extraSettings();
    historyPanel_->setVisible(x.history);
    layoutControls(client_->width(), client_->height());
    if (!x.history)
        return;
    // Beside the data files, in the current directory.
    history_ = std::make_unique<SqliteCheckHistory>(SqliteCheckHistory::kFileName, x.historyDays,
                                                    static_cast<long long>(x.historyMaxMb) << 20, clock_,
                                                    x.historyKeepDays);
    engine_.setHistory(history_.get());
    if (!history_->available() && unattended_) {
        std::fprintf(stderr, "History unavailable: %s\n", history_->problem().c_str());
        std::fflush(stderr);
    }
    refreshHistory();
}

void CSiteMonitorDlg::startMetrics() {
    const std::string& address = engine_.extraSettings().metricsAddress;
    if (address.empty())
        return;
    metrics_ = std::make_unique<MetricsServer>([this] { return MetricsText::render(engine_); });
    connect(metrics_.get(), &MetricsServer::exposed, footer_, [this](const QString& line) {
        footer_->setText(line);
        footer_->setToolTip(line);
    });
    QString error;
    if (!metrics_->useTokenFile(engine_.extraSettings().metricsTokenFile, error) ||
        !metrics_->listen(QtText::toQt(address), error)) {
        std::fprintf(stderr, "Metrics: cannot listen on %s: %s\n", address.c_str(),
                     error.toUtf8().constData());
        std::fflush(stderr);
        metrics_.reset();
    }
}

void CSiteMonitorDlg::refreshHistory() {
    historyTimer_.stop();
    if (!history_ || historyPanel_->isHidden())
        return;
    const int row = markedRow();
    if (row < 0) {
        historyPanel_->showSite(history_.get(), {}, {}, clock_.now());
        return;
    }
    const SiteEntry& e = engine_.sites().row(row);
    historyPanel_->showSite(history_.get(), e.url, e.title, clock_.now());
}

void CSiteMonitorDlg::done(int result) {
    // Asked to end while a check pass waits (a signal, Quit, the tray's Quit):
    // the pass is told to stop at its next safe point, and the window ends
    // the normal way when it has (see OnTimer), so the saved list holds every
    // result the pass reached and nothing runs on with an emptied entry.
    // Any other wait of the engine (a test mail of the Preferences) ends at
    // once too, rather than holding up the end until its own time limit.
    engine_.requestStop();
    if (engine_.passRunning()) {
        closeResult_ = result;
        if (openBox_)
            openBox_->done(QMessageBox::Ok);
        return;
    }
    OnDestroy();
    QDialog::done(result);
}

void CSiteMonitorDlg::OnDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    checkTimer_.stop();
    exitSaveFailed_ = !engine_.saveSiteList();
    // Where the user left the window, for the next start (never vantrel.ini).
    if (auto placement = geometry_->changedFrom(engine_.extraSettings().windowGeometry))
        engine_.saveWindowPlacement(*placement);
    desktop_.tray().remove();
}

// ---- gather and show -------------------------------------------------------

void CSiteMonitorDlg::gather() {
    DialogData& data = engine_.data();
    if (engine_.passRunning() && entryBoxes_->edited()) {
        // The user is editing: the pass keeps its own copy of the entry.
        entryHeld_ = true;
    } else {
        // Back from a pass that left the boxes alone: what the user edits is
        // the entry last shown, options included, not the pass's last row.
        if (std::exchange(entryHeld_, false))
            data.entry = shownEntry_;
        entryBoxes_->gather(data.entry);
    }
    data.statusText = statusBinding_.gather(status_);
    data.siteCount = total_->text().toInt();
    data.checkCount = checks_->text().toInt();
}

void CSiteMonitorDlg::show() {
    const DialogData& data = engine_.data();
    // A pass never overwrites boxes the user changed since they were shown.
    if (engine_.passRunning() && entryBoxes_->edited()) {
        entryHeld_ = true;
    } else {
        entryBoxes_->show(data.entry);
        shownEntry_ = data.entry;
        entryHeld_ = false;
    }
    statusBinding_.show(status_, data.statusText);
    // A pass shows the boxes several times a site: a count is laid out
    // again only when it changed.
    for (auto [field, count] : {std::pair{total_, data.siteCount}, std::pair{checks_, data.checkCount}}) {
        const QString text = QString::number(count);
        if (field->text() != text)
            field->setText(text);
    }
    for (QLineEdit* e : {createDate_, entryStatus_, checkDate_, status_})
        showWhole(e);
}

void CSiteMonitorDlg::showWhole(QLineEdit* field) {
    wholeTip_.apply(field);
}

// ---- MonitorView -----------------------------------------------------------

MessageAnswer CSiteMonitorDlg::messageBox(const std::string& text, const std::string& caption,
                                          MessageButtons buttons, MessageIcon icon) {
    const MessageAnswer defaultAnswer =
        buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    if (engine_.stopRequested() && engine_.passRunning())
        return defaultAnswer; // the pass is stopping for the end: it asks no one any more
    if (unattended_) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return defaultAnswer;
    }
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QtText::toQt(caption), QtText::toQt(text),
                    buttons == MessageButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.setDefaultButton(buttons == MessageButtons::YesNo ? QMessageBox::Yes : QMessageBox::Ok);
    QMessageBox* outer = std::exchange(openBox_, &box);
    const int answer = box.exec();
    openBox_ = outer;
    if (buttons == MessageButtons::YesNo)
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    return MessageAnswer::Ok;
}

void CSiteMonitorDlg::setMonitorButtonCaption(const std::string& caption) {
    monitor_->setText(QtText::toQt(caption));
    monitor_->setAccessibleName(monitor_->text());
}

void CSiteMonitorDlg::setWindowCaption(const std::string& caption) {
    caption_ = QtText::toQt(caption);
    setWindowTitle(offline_ ? caption_ + QStringLiteral(" - Offline") : caption_);
}

void CSiteMonitorDlg::setOffline(bool offline) {
    if (offline == offline_)
        return;
    offline_ = offline;
    setWindowTitle(offline_ ? caption_ + QStringLiteral(" - Offline") : caption_);
    desktop_.tray().setOffline(offline);
    if (!offline)
        desktop_.alerts().connectionVerdict({}, {});
}

void CSiteMonitorDlg::connectionVerdict(const std::string& statusText, const std::string& notification) {
    desktop_.alerts().connectionVerdict(QtText::toQt(statusText), QtText::toQt(notification));
}

void CSiteMonitorDlg::setCheckTimer(std::chrono::milliseconds period) {
    checkTimer_.start(static_cast<int>(period.count()));
}

void CSiteMonitorDlg::minimizeWindow() {
    window_->visibility().minimize();
}

void CSiteMonitorDlg::showEvent(QShowEvent* event) {
    // Where a tray leads back to the window it has no task-bar button;
    // without a tray the button is the only way back and stays. Set before
    // the window is mapped, so the window manager never shows the button.
    TaskbarHint::setSkipTaskbar(*this, TrayIcon::trayAvailable());
    QDialog::showEvent(event);
}

void CSiteMonitorDlg::enableToolTips(bool on) {
    struct Tip {
        QWidget* widget;
        const char* text;
    };
    const Tip tips[] = {
        {siteName_, "A name for the site"},
        {url_, "The address of the page to check, with http:// or https://"},
        {testString_, "Text the page must contain; leave empty to check only that the page loads"},
        {action_, "How a failure is announced"},
        {errorUrl_, "An address to call when the site fails"},
        {list_, "Click a row to load it; click a column header to sort"},
        {monitor_, "Switch monitoring on or off"},
        {add_, "Add the entry as a new site"},
        {update_, "Store the entry into the marked row"},
        {remove_, "Remove the marked row"},
        {clear_, "Empty the entry boxes"},
        {preferences_, "Mail, log, sound and interval settings"},
        {quit_, "Save the site list and quit"},
    };
    for (const Tip& t : tips)
        t.widget->setToolTip(on ? QString::fromLatin1(t.text) : QString());
}

void CSiteMonitorDlg::autoSizeColumns() {
    // Coalesced: a load that asks after every row sizes the columns once.
    autoSizeTimer_.start();
}

void CSiteMonitorDlg::doAutoSizeColumns() {
    autoSizeTimer_.stop();
    const QFontMetrics headFm(list_->horizontalHeader()->font());
    const int margin = 2 * list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 12;
    for (int c = 0; c < SiteEntry::kColumnCount; ++c) {
        const int header = headFm.horizontalAdvance(SiteListModel::headerText(c));
        // Status cells, and URLs that accept any certificate, carry a mark before the text.
        const int mark = model_->markWidth(c);
        list_->horizontalHeader()->resizeSection(c, std::max(model_->widths().widest(c) + mark, header) +
                                                        margin);
    }
}

int CSiteMonitorDlg::markedRow() const {
    const QModelIndex current =
        list_->selectionModel() ? list_->selectionModel()->currentIndex() : QModelIndex();
    if (!current.isValid() || current.row() >= engine_.sites().rowCount())
        return -1;
    return current.row();
}

void CSiteMonitorDlg::showTrayOn() {
    desktop_.tray().showOn();
}
void CSiteMonitorDlg::showTrayOff() {
    desktop_.tray().showOff();
}
void CSiteMonitorDlg::showTrayAlert() {
    desktop_.tray().showAlert();
}
void CSiteMonitorDlg::showTraySlow() {
    desktop_.tray().showSlow();
}

void CSiteMonitorDlg::showMailFailure() {
    if (!mailFailureLabel_)
        return;
    const QString failure = desktop_.alerts().statusLine();
    const bool failed = !failure.isEmpty();
    const QString shown =
        mailFailureLabel_->fontMetrics().elidedText(failure, Qt::ElideRight, mailFailureLabel_->width());
    mailFailureLabel_->setText(shown);
    mailFailureLabel_->setToolTip(failure);
    mailFailureLabel_->setAccessibleName(failure); // the whole text, where the line cuts it
    mailFailureLabel_->setVisible(failed);
    footer_->setVisible(!failed);
}

// ---- site options ----------------------------------------------------------

void CSiteMonitorDlg::readSecretsAhead() {
    std::vector<std::string> keys;
    for (int r = 0; r < engine_.sites().rowCount(); ++r)
        if (!engine_.sites().row(r).options.auth.empty())
            keys.push_back(SiteRequest::secretKey(engine_.sites().row(r).url));
    secrets_.readAhead(keys, [this] {
        if (std::exchange(passDue_, false))
            OnTimer();
    });
}

void CSiteMonitorDlg::OnAdvanced() {
    whenNoPass([this] { openSiteOptions(); });
}

void CSiteMonitorDlg::openSiteOptions() {
    gather();
    SiteOptionsDlg dlg(engine_.data().entry, &secrets_, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    // The test string and the options go into the entry; Add and Update take
    // them along with the boxes.
    SiteEntry& entry = engine_.data().entry;
    const SiteEntry chosen = dlg.entry();
    entry.testString = chosen.testString;
    entry.options = chosen.options;
    show();
    const std::string secret = dlg.secret();
    if (secret.empty())
        return;
    secrets_.store(SiteRequest::secretKey(entry.url), secret, [this](const QString& why) {
        const std::string text = "The keyring did not take the site's secret (" + QtText::fromQt(why) +
                                 "). Vantrel uses it until it ends.";
        whenNoPass(
            [this, text] { messageBox(text, "Site Secret", MessageButtons::Ok, MessageIcon::Exclamation); });
    });
}

// ---- commands --------------------------------------------------------------

void CSiteMonitorDlg::OnTimer() {
    // The first pass waits until the site logins' secrets have been read.
    if (!secrets_.ready()) {
        passDue_ = true;
        return;
    }
    const bool wasRunning = engine_.passRunning();
    engine_.onTimer();
    // An end asked for during the pass runs now that the pass has stopped.
    if (closeResult_ && !engine_.passRunning()) {
        done(*std::exchange(closeResult_, std::nullopt));
        return;
    }
    if (wasRunning || engine_.passRunning())
        return;
    // What was asked for while the pass ran, in its order.
    for (auto& command : std::exchange(afterPass_, {}))
        command();
    markShownRow();
}

void CSiteMonitorDlg::ToggleMonitor() {
    engine_.toggleMonitor();
}

void CSiteMonitorDlg::whenNoPass(std::function<void()> command) {
    // A pass shows each site in the entry boxes as it checks it: an edit of
    // the list made in between would work on the pass's entry, so it waits
    // for the pass to end; so does a box the pass did not ask for.
    if (engine_.passRunning()) {
        afterPass_.push_back(std::move(command));
        return;
    }
    command();
}

void CSiteMonitorDlg::markShownRow() {
    // When the boxes hold a row, that row is the marked one, so Update never
    // writes one site's data into another site's row.
    const int marked = markedRow();
    if (entryHeld_ || marked < 0 || engine_.sites().row(marked) == engine_.data().entry)
        return;
    const SiteList& sites = engine_.sites();
    int shown = -1;
    for (int r = 0; r < sites.rowCount() && shown < 0; ++r)
        shown = sites.row(r) == engine_.data().entry ? r : -1;
    QItemSelectionModel* selection = list_->selectionModel();
    if (shown < 0) {
        selection->clear();
        return;
    }
    selection->setCurrentIndex(model_->index(shown, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CSiteMonitorDlg::OnAdd() {
    whenNoPass([this] { editor_.OnAdd(); });
}
void CSiteMonitorDlg::OnUpdate() {
    whenNoPass([this] { editor_.OnUpdate(); });
}
void CSiteMonitorDlg::OnRemove() {
    whenNoPass([this] { editor_.OnRemove(); });
}
void CSiteMonitorDlg::OnClear() {
    whenNoPass([this] { engine_.clearEntry(); });
}
void CSiteMonitorDlg::OnClearAll() {
    whenNoPass([this] { editor_.OnClearAll(); });
}
void CSiteMonitorDlg::OnListClick() {
    whenNoPass([this] { editor_.OnListClick(); });
}

void CSiteMonitorDlg::OnColumnClick(int column) {
    whenNoPass([this, column] { sortByColumn(column); });
}

void CSiteMonitorDlg::sortByColumn(int column) {
    // Sorting moves texts between rows; the selection and the marked row stay
    // at their positions, although the model's reset makes the view forget them.
    QItemSelectionModel* selection = list_->selectionModel();
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

void CSiteMonitorDlg::OnPreferences() {
    // The tray menu stays usable while the dialog is open: bring that one up
    // rather than opening a second one over it.
    if (auto* open = qobject_cast<CPreferencesDlg*>(QApplication::activeModalWidget())) {
        open->raise();
        open->activateWindow();
        return;
    }
    Settings& settings = engine_.settings();
    CPreferencesDlg dlg(pump_, clock_, this);
    // Modal to the main window only, so the tray menu can still be opened.
    dlg.setWindowModality(Qt::WindowModal);
    dlg.copyIn(settings);
    const MailPasswordController::Before before = mailPassword_.before();
    dlg.copyIn(engine_.extraSettings(), before.password);
    enableToolTips(dlg.toolTips == 1);
    // The result is not looked at: Esc and the close box keep what the last
    // gather took (a Test, Browse or Add to Startup click gathers first).
    dlg.exec();
    dlg.copyOut(settings);
    std::string password;
    dlg.copyOut(engine_.extraSettings(), password);
    enableToolTips(dlg.toolTips == 1);
    mailPassword_.afterPreferences(before, password);
    engine_.saveSettings();
}

void CSiteMonitorDlg::OnFileSave() {
    engine_.saveSettings();
    engine_.saveSiteList();
}

// File > Quit and the tray's Quit end the window the normal way, so nothing
// added or changed since the last save is lost and no dead icon stays in the
// tray: done() saves the site list and removes the icon, and the application
// then leaves its event loop and ends with status 0.
void CSiteMonitorDlg::OnFileQuit() {
    reject();
}

// Help > About. On Linux Qt offers no window (system) menu to add an About
// entry to, so the Help menu is the one way to the box.
void CSiteMonitorDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CSiteMonitorDlg::OnManual() {
    if (help_.openManual() || unattended_)
        return;
    // Opened without waiting for it: Help > Manual may come from the tray menu.
    auto* box =
        new QMessageBox(QMessageBox::Information, QString::fromLatin1(HelpLinks::kManualCaption),
                        HelpLinks::manualUnopenedText(), QMessageBox::Ok, isVisible() ? this : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
void CSiteMonitorDlg::OnMoreInfo() {
    help_.openMoreInfo();
}
void CSiteMonitorDlg::OnSupport() {
    help_.openSupport();
}

void CSiteMonitorDlg::OnUninstall() {
    messageBox(HelpLinks::uninstallText(), HelpLinks::kUninstallCaption, MessageButtons::Ok,
               MessageIcon::None);
}

// ---- File > Export History --------------------------------------------------

void CSiteMonitorDlg::OnExportHistory(bool allSites) {
    if (!history_ || !history_->available()) {
        messageBox(HistoryPanel::kUnavailableText, "Export History", MessageButtons::Ok, MessageIcon::None);
        return;
    }
    std::string url, title;
    if (!allSites) {
        const int row = markedRow();
        if (row < 0) {
            messageBox("Please click the site to export in the list first.", "Export History",
                       MessageButtons::Ok, MessageIcon::None);
            return;
        }
        url = engine_.sites().row(row).url;
        title = engine_.sites().row(row).title;
    }
    // The data files are opened by bare names in the current directory, so
    // a file dialog that moves it must not leave it moved.
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    const QString path = chooseExportFile ? chooseExportFile() : QString();
    if (!ec)
        std::filesystem::current_path(cwd, ec);
    if (path.isEmpty())
        return;
    std::string csv = HistoryCsv::header();
    const bool read =
        history_->exportChecks(url, title, [&csv](const CheckRecord& r) { csv += HistoryCsv::line(r); });
    if (!read || !DataFile::save(QFile::encodeName(path).toStdString(), csv))
        messageBox("Could not write the history file.", "Export History", MessageButtons::Ok,
                   MessageIcon::None);
}

QString CSiteMonitorDlg::chooseExportFileWithDialog() {
    // As in Preferences: Qt's file dialog would keep its last folder in the
    // user's shared Qt settings; pointed below a device, that write fails
    // quietly and nothing is left in the home folder.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QFileDialog dialog(this, QStringLiteral("Export History"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("CSV Files (*.csv);;All Files (*)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    // In the user's documents folder, not the hidden folder the data files live in.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog.setDirectory(QFileInfo(documents).isDir() ? documents : QDir::homePath());
    dialog.selectFile(QStringLiteral("vantrel-history.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

void CSiteMonitorDlg::OnTrayRestore() {
    window_->visibility().restore();
}

} // namespace vantrel
