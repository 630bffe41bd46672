#include "app/SiteMonitorDlg.h"

#include "app/MainMenu.h"
#include "app/PreferencesController.h"
#include "app/TriageWiring.h"
#include "ui/AboutDlg.h"
#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"
#include "ui/PacedDisplay.h"
#include "ui/QtText.h"
#include "ui/SiteListModel.h"
#include "ui/TaskbarHint.h"
#include "ui/TrayIcon.h"
#include "ui/WidgetWindow.h"
#include "ui/WindowGeometry.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>

#include <cstdio>
#include <utility>

namespace vantrel {

CSiteMonitorDlg::CSiteMonitorDlg(QWidget* parent)
    : QDialog(parent),
      engine_(*this, MonitorServices{&services_.pump, &services_.clock, &services_.http, &services_.sound,
                                     nullptr, &services_.secrets, &desktop_.alerts()}) {
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(TrayIcon::icon(TrayIcon::kAppIcon));
    setFont(DialogFont::fitted(font())); // the font the layout's units are made for
    siteList_.model().setSnoozeContext(&engine_.extraSettings(), &services_.clock);
    siteList_.model().widths().setMeasure([fm = QFontMetrics(font())](const std::string& text) {
        return fm.horizontalAdvance(QtText::toQt(text));
    });
    window_ = new WidgetWindow(*this);
    geometry_ = new WindowGeometry(*this);
    menuBar_ = MainMenu::create(*this);
    form_ = std::make_unique<MainWindowForm>(new QWidget(this), &siteList_.model());
    siteList_.attach(*form_);
    entry_ = std::make_unique<EntryBinding>(engine_, *form_);
    history_ = std::make_unique<HistoryController>(engine_, clock(), *this, *form_->historyPanel, this);
    chooseExportFile = [this] { return history_->chooseExportFileWithDialog(); };
    history_->chooseExportFile = [this] { return chooseExportFile ? chooseExportFile() : QString(); };
    DialogFont::widenTexts(*this);
    setMinimumSize(435, 380);
    // The history panel adds its height below the list; the controls above
    // it keep their places.
    resize(DialogUnits::x(284), DialogUnits::y(202) + menuBar_->sizeHint().height() + kHistoryPanelHeight);
    checkTimer_.setSingleShot(false);
    connect(&checkTimer_, &QTimer::timeout, this, &CSiteMonitorDlg::OnTimer);
    connectControls();
}

CSiteMonitorDlg::~CSiteMonitorDlg() {
    // The model detaches from the list before the engine goes, and the
    // engine lets go of the history before it is closed.
    siteList_.detach();
    history_.reset();
}

void CSiteMonitorDlg::connectControls() {
    MainWindowForm& f = *form_;
    connect(f.list, &QTableView::clicked, this, [this] { OnListClick(); });
    connect(f.list->horizontalHeader(), &QHeaderView::sectionClicked, this, &CSiteMonitorDlg::OnColumnClick);
    // The Quit button accepts and the other ways out reject; both save the list on the way out.
    connect(f.quit, &QPushButton::clicked, this, &QDialog::accept);
    connect(f.monitor, &QPushButton::clicked, this, &CSiteMonitorDlg::ToggleMonitor);
    connect(f.add, &QPushButton::clicked, this, &CSiteMonitorDlg::OnAdd);
    connect(f.update, &QPushButton::clicked, this, &CSiteMonitorDlg::OnUpdate);
    connect(f.remove, &QPushButton::clicked, this, &CSiteMonitorDlg::OnRemove);
    connect(f.clear, &QPushButton::clicked, this, &CSiteMonitorDlg::OnClear);
    connect(f.preferences, &QPushButton::clicked, this, &CSiteMonitorDlg::OnPreferences);
    connect(f.advanced, &QPushButton::clicked, this, &CSiteMonitorDlg::OnAdvanced);
    // The history panel follows the marked row once checks settle.
    auto refreshSoon = [this] { history_->refreshSoon(); };
    connect(&siteList_.model(), &QAbstractItemModel::dataChanged, this, refreshSoon);
    connect(&siteList_.model(), &QAbstractItemModel::modelReset, this, refreshSoon);
    connect(f.list->selectionModel(), &QItemSelectionModel::currentChanged, this, refreshSoon);
    TrayIcon* tray = &desktop_.tray();
    connect(tray, &TrayIcon::restoreRequested, this, &CSiteMonitorDlg::OnTrayRestore);
    connect(tray, &TrayIcon::helpRequested, this, &CSiteMonitorDlg::OnManual);
    connect(tray, &TrayIcon::quitRequested, this, &CSiteMonitorDlg::OnFileQuit);
    connect(tray, &TrayIcon::preferencesRequested, this, &CSiteMonitorDlg::OnPreferences);
    connect(&desktop_.alerts(), &DesktopAlerts::failureChanged, this, &CSiteMonitorDlg::showMailFailure);
    triage_ = new TriageWiring(engine_, *tray, desktop_.siteNotifications(), siteList_.model(),
                               services_.clock, this);
    triage_->openRow = [this](int row) {
        OnTrayRestore();
        form_->list->selectRow(row);
        OnListClick();
    };
    // Without a tray the window's icon and tip show the monitoring state.
    connect(tray, &TrayIcon::stateChanged, this, [this](int id, const QString& tip) {
        if (!TrayIcon::trayAvailable()) {
            setWindowIcon(TrayIcon::icon(id));
            setToolTip(tip);
        }
    });
}

void CSiteMonitorDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int menuHeight = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, width(), menuHeight);
    form_->client->setGeometry(0, menuHeight, width(), height() - menuHeight);
    form_->layout(form_->client->width(), form_->client->height());
}

void CSiteMonitorDlg::OnInitDialog() {
    desktop_.tray().add();
    desktop_.tray().showOn();
    // Notification actions and do-not-disturb, where someone can see them.
    if (!unattended_)
        desktop_.siteNotifications().start();
    siteList_.autoSizeColumns(); // the columns as wide as their headers before any row exists
    engine_.startUp();
    if (!unattended_)
        geometry_->restore(engine_.extraSettings().windowGeometry);
    siteOptions_.readSecretsAhead([this] {
        if (std::exchange(passDue_, false))
            OnTimer();
    });
    mailPassword_.load();
    history_->open(unattended_);
    form_->layout(form_->client->width(), form_->client->height());
    // At the first size the list shows about six rows above the history.
    history_->placePane(*form_->split, form_->listHeightFor(6));
}

void CSiteMonitorDlg::showFooterLine(const QString& line) {
    form_->footer->setText(line);
    form_->footer->setToolTip(line);
}

void CSiteMonitorDlg::done(int result) {
    // Asked to end while a check pass waits (a signal, Quit, the tray's Quit):
    // the pass is told to stop at its next safe point, and the window ends
    // the normal way when it has (see afterChecks), so the saved list holds every
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
    if (exitSaveFailed_.has_value()) // ended already
        return;
    exitSaveFailed_ = false;
    checkTimer_.stop();
    exitSaveFailed_ = !engine_.saveSiteList();
    // Where the user left the window and its history pane, for the next
    // start (never vantrel.ini).
    if (auto placement = geometry_->changedFrom(engine_.extraSettings().windowGeometry))
        engine_.saveWindowPlacement(*placement);
    if (history_->paneMoved())
        engine_.saveHistoryPane(engine_.extraSettings().historyPane);
    desktop_.tray().remove();
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
    PacedDisplay::showKept(); // the window behind the box shows the site it is about
    const int answer = box.exec();
    openBox_ = outer;
    if (buttons == MessageButtons::YesNo)
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    return MessageAnswer::Ok;
}

void CSiteMonitorDlg::setMonitorButtonCaption(const std::string& caption) {
    form_->monitor->setText(QtText::toQt(caption));
    form_->monitor->setAccessibleName(form_->monitor->text());
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

void CSiteMonitorDlg::minimizeWindow() {
    // A new user's start, without a single site, keeps the window up to begin with.
    if (unattended_ || engine_.sites().rowCount() > 0)
        window_->visibility().minimize();
}

void CSiteMonitorDlg::showEvent(QShowEvent* event) {
    // With a tray to lead back, no task-bar button; without one it is the way
    // back. Set before the window is mapped, so the button never flashes.
    TaskbarHint::setSkipTaskbar(*this, TrayIcon::trayAvailable());
    QDialog::showEvent(event);
}

void CSiteMonitorDlg::autoSizeColumns() {
    siteList_.autoSizeColumnsSoon();
}

int CSiteMonitorDlg::markedRow() const {
    return siteList_.markedRow();
}

void CSiteMonitorDlg::showMailFailure() {
    form_->showFailure(desktop_.alerts().statusLine());
}

void CSiteMonitorDlg::OnAdvanced() {
    siteOptions_.openOptions();
}

// ---- commands --------------------------------------------------------------

void CSiteMonitorDlg::OnTimer() {
    // The first pass waits until the site logins' secrets have been read.
    if (!services_.secrets.ready()) {
        passDue_ = true;
        return;
    }
    const bool wasRunning = engine_.passRunning();
    engine_.onTimer();
    if (!wasRunning)
        afterChecks();
}

// Once no checks run: an end asked for meanwhile, else what waited, in its order.
void CSiteMonitorDlg::afterChecks() {
    if (engine_.passRunning())
        return;
    if (closeResult_)
        return done(*std::exchange(closeResult_, std::nullopt));
    if (engine_.stopRequested())
        return;
    gate_.passEnded();
    if (!entry_->held())
        siteList_.markShownRow();
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
    whenNoPass([this, column] { siteList_.sortByColumn(column); });
}

void CSiteMonitorDlg::OnPreferences() {
    PreferencesController(engine_, mailPassword_, *this, this, [this] { OnTimer(); }).open();
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
    CAboutDlg(this).exec();
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

void CSiteMonitorDlg::OnUninstall() {
    messageBox(HelpLinks::uninstallText(), HelpLinks::kUninstallCaption, MessageButtons::Ok,
               MessageIcon::None);
}

void CSiteMonitorDlg::OnTrayRestore() {
    window_->visibility().restore();
}

} // namespace vantrel
