#include "ui/PreferencesDlg.h"

#include "model/Settings.h"
#include "platform/XdgAutostart.h"
#include "ui/BoundText.h"
#include "ui/ChannelsPage.h"
#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"
#include "ui/FileDialogGuard.h"
#include "ui/PreferencesControls.h"
#include "ui/QtText.h"
#include "ui/SettingFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include <filesystem>
#include <system_error>
#include <utility>

namespace vantrel {

namespace {

using D = DialogUnits;

const char* const kIntervals[] = {"5", "10", "15", "20", "25", "30", "60"};
const char* const kNotifyModes[] = {"Every Check", "On Change"};

using C = PreferencesControls;

} // namespace

CPreferencesDlg::CPreferencesDlg(TestSender sendTest, QWidget* parent)
    : QDialog(parent), sendTest_(std::move(sendTest)) {
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(DialogFont::fitted(font()));
    // The template's fields on the first tab, where they always were; the
    // settings that vantrel.ini has no keys for on a tab of their own. OK
    // sits below both, since it closes the dialog for both.
    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(QStringLiteral("Preferences Pages"));
    auto* general = new QWidget;
    auto* more = new QWidget;
    tabs_->addTab(general, QStringLiteral("General"));
    tabs_->addTab(more, QStringLiteral("Advanced"));
    channels_ = new ChannelsPage;
    tabs_->addTab(channels_, QStringLiteral("Channels"));
    createControls(general);
    createMoreControls(more);
    const int margin = 4;
    const int barHeight = tabs_->tabBar()->sizeHint().height();
    // The pages' own frame takes a few pixels on each side: the tabs are that
    // much wider than the template, so its right-hand column fits whole.
    const int frame = 2 * tabs_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tabs_) + 4;
    tabs_->setGeometry(margin, margin, D::x(194) + frame, D::y(186) + barHeight);
    QPushButton* ok = C::pushButton(
        this, "OK", "OK",
        QRect(margin + frame + D::x(137), tabs_->geometry().bottom() + 1 + D::y(4), D::x(50), D::y(14)));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        gatherData();
        accept();
    });
    setFixedSize(tabs_->geometry().right() + 1 + margin, ok->geometry().bottom() + 1 + D::y(5));
    DialogFont::widenTexts(*this);
    chooseFile = [this](const FileRequest& request) { return chooseWithFileDialog(request); };
}

CPreferencesDlg::~CPreferencesDlg() = default;

void CPreferencesDlg::createControls(QWidget* page) {
    QWidget* const self = page;
    // Created in tab order.
    yourNameEdit_ = C::labelledEdit(self, "Your Name:", D::rect(7, 10, 38, 8), D::rect(53, 7, 101, 14));
    yourEmailEdit_ = C::labelledEdit(self, "Your Email:", D::rect(7, 24, 36, 8), D::rect(53, 21, 101, 14));
    intervalBox_ = C::labelledCombo(self, "Interval:", D::rect(7, 37, 26, 8), 53, 35,
                                    C::choices(kIntervals)); // in this order: the list is not sorted
    // The unit of the Interval choices, in the free room right of the box.
    auto* minutes = new QLabel(QStringLiteral("minutes"), self);
    minutes->setGeometry(D::rect(157, 37, 30, 8));
    minutes->setBuddy(intervalBox_);
    intervalBox_->setAccessibleDescription(minutes->text());
    QStringList modes = C::choices(kNotifyModes);
    modes.sort(Qt::CaseSensitive); // a sorted list
    notifyBox_ = C::labelledCombo(self, "Notify:", D::rect(7, 50, 21, 8), 53, 48, modes);
    email1Edit_ = C::labelledEdit(self, "Email 1:", D::rect(7, 64, 26, 8), D::rect(53, 61, 101, 14));
    email2Edit_ = C::labelledEdit(self, "Email 2:", D::rect(7, 78, 26, 8), D::rect(53, 75, 101, 14));
    smtpServerEdit_ = C::labelledEdit(self, "SMTP Server:", D::rect(7, 92, 46, 8), D::rect(53, 89, 101, 14));
    logFileEdit_ = C::labelledEdit(self, "Log File:", D::rect(7, 106, 28, 8), D::rect(53, 103, 101, 14));
    errorSoundEdit_ =
        C::labelledEdit(self, "Error Sound:", D::rect(7, 120, 40, 8), D::rect(53, 117, 101, 14));
    toolTipsBox_ = C::checkBox(self, "Tool Tips", D::rect(7, 136, 45, 10));
    startupBox_ = C::checkBox(self, "Add to Startup", D::rect(7, 146, 61, 10));
    everyErrorBox_ = C::checkBox(self, "Email on Every Error", D::rect(7, 156, 79, 10));
    everyErrorBox_->hide(); // only the settings file sets it; the dialog passes it through
    QPushButton* test1 = C::pushButton(self, "Test", "Test Email 1", D::rect(154, 61, 33, 14));
    QPushButton* test2 = C::pushButton(self, "Test", "Test Email 2", D::rect(154, 75, 33, 14));
    QPushButton* browseLog = C::pushButton(self, "Browse", "Browse Log File", D::rect(154, 103, 33, 14));
    QPushButton* browseSound = C::pushButton(self, "Browse", "Browse Error Sound", D::rect(154, 117, 33, 14));
    // How the last Test send ended: a line in the dialog, never a box.
    // Two lines under the fields; a longer text is whole in its tool tip.
    testResult_ = new QLabel(self);
    testResult_->setGeometry(D::rect(7, 167, 180, 18));
    testResult_->setWordWrap(true);
    testResult_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    testResult_->setTextFormat(Qt::PlainText);
    testResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    testResult_->setAccessibleName(QStringLiteral("Test Result"));

    connect(test1, &QPushButton::clicked, this, &CPreferencesDlg::OnTestEmail1);
    connect(test2, &QPushButton::clicked, this, &CPreferencesDlg::OnTestEmail2);
    connect(browseLog, &QPushButton::clicked, this, &CPreferencesDlg::OnBrowseLogFile);
    connect(browseSound, &QPushButton::clicked, this, &CPreferencesDlg::OnBrowseErrorSound);
    // Every change of the box by the user changes the autostart entry: a
    // click, the Space key, or the toggle action of assistive technology.
    // Showing the settings sets the box with its signals blocked.
    connect(startupBox_, &QCheckBox::toggled, this, &CPreferencesDlg::OnAddToStartup);
}

void CPreferencesDlg::createMoreControls(QWidget* page) {
    // Created in tab order: mail submission, notifications, check passes,
    // history. The password is kept in the keyring, not in the file, so its
    // field is the dialog's own, between the login and the password file.
    using Row = SettingFields::Row;
    const Row login[] = {
        {"MAILSECURITY", "Mail Security:", {80, 7, 107, 14}, {}, {"None", "STARTTLS", "TLS"}},
        {"MAILUSER", "Mail User:", {80, 21, 107, 14}},
    };
    const Row passwordFile[] = {{"MAILPASSWORDFILE", "Password File:", {80, 49, 74, 14}}};
    const Row others[] = {
        {"NOTIFICATIONS", "Desktop Notifications", {7, 65, 100, 10}},
        {"PARALLEL", "Pages at Once:", {80, 78, 50, 14}},
        {"CONFIRM", "Attempts to Fail:", {80, 92, 50, 14}},
        {"CERTWARNDAYS", "Certificate Warning:", {80, 106, 50, 14}, " days"},
        {"OFFLINEGUARD", "Offline Guard", {7, 122, 70, 10}},
        {"HISTORY", "Keep History", {80, 122, 70, 10}},
        {"HISTORYDAYS", "History Days:", {80, 135, 50, 14}},
        {"HISTORYMAXMB", "History Size:", {80, 149, 70, 14}, " MiB"},
        {"METRICS", "Metrics Address:", {80, 163, 107, 14}},
    };
    fields_.add(page, login);
    mailPasswordEdit_ =
        C::labelledEdit(page, "Mail Password:", D::rect(7, 38, 72, 8), D::rect(80, 35, 107, 14));
    mailPasswordEdit_->setToolTip(
        QStringLiteral("The mail login's password; kept in the desktop keyring, never in "
                       "a file of Vantrel's. Default: empty."));
    mailPasswordEdit_->setEchoMode(QLineEdit::Password);
    fields_.add(page, passwordFile);
    QPushButton* browsePassword =
        C::pushButton(page, "Browse", "Browse Password File", D::rect(154, 49, 33, 14));
    fields_.add(page, others);
    connect(browsePassword, &QPushButton::clicked, this, &CPreferencesDlg::OnBrowsePasswordFile);
}

void CPreferencesDlg::copyIn(const Settings& s) {
    toolTips = s.toolTips == "yes" ? 1 : 0;
    addToStartup = s.addToStartup == "yes" ? 1 : 0;
    everyError = s.everyError == "yes" ? 1 : 0;
    yourName = s.yourName;
    yourEmail = s.yourEmail;
    email1 = s.email1;
    email2 = s.email2;
    smtpServer = s.smtpServer;
    interval = s.interval;
    notify = s.notify;
    errorSound = s.errorSound;
    logFile = s.logFile;
}

void CPreferencesDlg::copyOut(Settings& s) const {
    s.yourName = yourName;
    s.yourEmail = yourEmail;
    s.email1 = email1;
    s.email2 = email2;
    s.smtpServer = smtpServer;
    s.interval = interval;
    s.notify = notify;
    s.errorSound = errorSound;
    s.logFile = logFile;
    s.addToStartup = addToStartup == 1 ? "yes" : "no";
    s.everyError = everyError == 1 ? "yes" : "no";
    s.toolTips = toolTips == 1 ? "yes" : "no";
}

void CPreferencesDlg::copyIn(const ExtraSettings& settings, const std::string& password) {
    extra = settings;
    mailPassword = password;
    channels_->copyIn(settings);
}

void CPreferencesDlg::copyOut(ExtraSettings& settings, std::string& password) const {
    settings = extra;
    password = mailPassword;
    channels_->copyOut(settings);
}

QString CPreferencesDlg::testResult() const {
    return testResult_->text();
}

int CPreferencesDlg::exec() {
    showData();
    return QDialog::exec();
}

void CPreferencesDlg::showData() {
    logFileText_.show(logFileEdit_, logFile);
    smtpServerText_.show(smtpServerEdit_, smtpServer);
    email1Text_.show(email1Edit_, email1);
    email2Text_.show(email2Edit_, email2);
    errorSoundText_.show(errorSoundEdit_, errorSound);
    notifyText_.show(notifyBox_, notify);
    intervalText_.show(intervalBox_, interval);
    yourEmailText_.show(yourEmailEdit_, yourEmail);
    yourNameText_.show(yourNameEdit_, yourName);
    toolTipsBox_->setChecked(toolTips == 1);
    {
        const QSignalBlocker quiet(startupBox_);
        startupBox_->setChecked(addToStartup == 1);
    }
    everyErrorBox_->setChecked(everyError == 1);
    fields_.show(extra);
    mailPasswordText_.show(mailPasswordEdit_, mailPassword);
}

void CPreferencesDlg::gatherData() {
    logFile = logFileText_.gather(logFileEdit_);
    smtpServer = smtpServerText_.gather(smtpServerEdit_);
    email1 = email1Text_.gather(email1Edit_);
    email2 = email2Text_.gather(email2Edit_);
    errorSound = errorSoundText_.gather(errorSoundEdit_);
    notify = notifyText_.gather(notifyBox_);
    interval = intervalText_.gather(intervalBox_);
    yourEmail = yourEmailText_.gather(yourEmailEdit_);
    yourName = yourNameText_.gather(yourNameEdit_);
    toolTips = toolTipsBox_->isChecked() ? 1 : 0;
    addToStartup = startupBox_->isChecked() ? 1 : 0;
    everyError = everyErrorBox_->isChecked() ? 1 : 0;
    fields_.gather(extra);
    mailPassword = mailPasswordText_.gather(mailPasswordEdit_);
}

// ---- Browse ----------------------------------------------------------------

void CPreferencesDlg::OnBrowseLogFile() {
    browse(logFile, {QStringLiteral("Log Files (*.log);;All Files (*)"), QStringLiteral("log")});
}

void CPreferencesDlg::OnBrowseErrorSound() {
    browse(errorSound, {QStringLiteral("WAV Files (*.wav);;All Files (*)"), QStringLiteral("wav")});
}

void CPreferencesDlg::OnBrowsePasswordFile() {
    browse(extra.mailPasswordFile, {QStringLiteral("All Files (*)"), QString()});
}

void CPreferencesDlg::browse(std::string& member, const FileRequest& request) {
    gatherData();
    const QString chosen =
        FileDialogGuard::keepingFolder([&] { return chooseFile ? chooseFile(request) : QString(); });
    if (!chosen.isEmpty())
        member = QFile::encodeName(chosen).toStdString(); // the name's bytes on disk
    showData();
}

QString CPreferencesDlg::chooseWithFileDialog(const FileRequest& request) {
    // The program keeps nothing outside its current directory and the
    // autostart folder, not even the dialog's last folder.
    FileDialogGuard::keepSettingsAway();
    QFileDialog dialog(this, QStringLiteral("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // a new log file may be named too
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

// ---- Add to Startup --------------------------------------------------------

void CPreferencesDlg::OnAddToStartup() {
    gatherData();
    if (addToStartup == 1) {
        // The entry starts this very executable in the current directory, so
        // that it finds the same data files wherever it was started from.
        std::error_code ec;
        const std::string cwd = std::filesystem::current_path(ec).string();
        if (ec || !XdgAutostart::add(XdgAutostart::currentExecutable(), cwd)) {
            message(kStartupFailed);
            addToStartup = 0;
        }
    } else {
        XdgAutostart::remove();
    }
    showData();
}

// ---- Test mail -------------------------------------------------------------

void CPreferencesDlg::OnTestEmail1() {
    testEmail(email1, kNoAddress1);
}

void CPreferencesDlg::OnTestEmail2() {
    testEmail(email2, kNoAddress2);
}

void CPreferencesDlg::testEmail(const std::string& address, const char* noAddressText) {
    gatherData();
    if (address.empty()) {
        message(noAddressText);
        return;
    }
    if (smtpServer.empty()) {
        message(kNoServer);
        return;
    }
    // The same submission a report uses, with the password as typed. The
    // outcome is a line in the dialog, not a box.
    const std::string to = address;
    const std::string server = smtpServer;
    const SmtpSend send =
        sendTest_(to, server, MailSubmission{extra.mailSecurity, extra.mailUser, mailPassword});
    testResult_->setText(send.sent() ? QString::fromLatin1(kTestAccepted) + QtText::toQt(server)
                                     : QtText::toQt(send.errorText));
    testResult_->setToolTip(testResult_->text());
    showData();
}

void CPreferencesDlg::message(const char* text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kErrorCaption), QString::fromLatin1(text),
                    QMessageBox::Ok, this);
    box.exec();
}

} // namespace vantrel
