#include "ui/PreferencesDlg.h"

#include "model/Settings.h"
#include "platform/XdgAutostart.h"
#include "ui/BoundText.h"
#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

#include <filesystem>
#include <system_error>

namespace vantrel {

namespace {

using D = DialogUnits;

const char* const kIntervals[] = {"5", "10", "15", "20", "25", "30", "60"};
const char* const kNotifyModes[] = {"Every Check", "On Change"};

// A labelled edit box; the label names the box for accessibility too.
QLineEdit* labelledEdit(QWidget* parent, const char* label, const QRect& labelRect, const QRect& editRect) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(editRect);
    BoundText::allowAnyLength(edit);
    auto* l = new QLabel(QString::fromLatin1(label), parent);
    l->setGeometry(labelRect);
    l->setBuddy(edit);
    edit->setAccessibleName(QString::fromLatin1(label).remove(QLatin1Char(':')));
    return edit;
}

// An editable drop-down combo box. The template's height (97 or 118 units)
// is that of the open list; closed, the box is as high as an edit box.
QComboBox* labelledCombo(QWidget* parent, const char* label, const QRect& labelRect, int x, int y,
                         const QStringList& choices) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr); // what is typed is what is kept: "1" must not become "10"
    BoundText::allowAnyLength(box);
    box->addItems(choices);
    box->setGeometry(D::x(x), D::y(y), D::x(101), D::y(14));
    auto* l = new QLabel(QString::fromLatin1(label), parent);
    l->setGeometry(labelRect);
    l->setBuddy(box);
    box->setAccessibleName(QString::fromLatin1(label).remove(QLatin1Char(':')));
    return box;
}

QCheckBox* checkBox(QWidget* parent, const char* text, const QRect& r) {
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setGeometry(r);
    box->setAccessibleName(box->text());
    return box;
}

// `text` is the caption; `name` tells the two Test and Browse buttons apart.
QPushButton* pushButton(QWidget* parent, const char* text, const char* name, const QRect& r) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setGeometry(r);
    b->setAutoDefault(false);
    b->setAccessibleName(QString::fromLatin1(name));
    return b;
}

template <size_t N> QStringList choices(const char* const (&texts)[N]) {
    QStringList list;
    for (const char* t : texts)
        list << QString::fromLatin1(t);
    return list;
}

} // namespace

CPreferencesDlg::CPreferencesDlg(EventPump& pump, Clock& clock, QWidget* parent)
    : QDialog(parent), mailer_(kMailerReplySize, pump, clock) {
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(D::x(194), D::y(172));
    setFont(DialogFont::fitted(font()));
    createControls();
    DialogFont::widenTexts(*this);
    chooseFile = [this](const FileRequest& request) { return chooseWithFileDialog(request); };
}

CPreferencesDlg::~CPreferencesDlg() = default;

void CPreferencesDlg::createControls() {
    // Created in tab order.
    yourNameEdit_ = labelledEdit(this, "Your Name:", D::rect(7, 10, 38, 8), D::rect(53, 7, 101, 14));
    yourEmailEdit_ = labelledEdit(this, "Your Email:", D::rect(7, 24, 36, 8), D::rect(53, 21, 101, 14));
    intervalBox_ = labelledCombo(this, "Interval:", D::rect(7, 37, 26, 8), 53, 35,
                                 choices(kIntervals)); // in this order: the list is not sorted
    QStringList modes = choices(kNotifyModes);
    modes.sort(Qt::CaseSensitive); // a sorted list
    notifyBox_ = labelledCombo(this, "Notify:", D::rect(7, 50, 21, 8), 53, 48, modes);
    email1Edit_ = labelledEdit(this, "Email 1:", D::rect(7, 64, 26, 8), D::rect(53, 61, 101, 14));
    email2Edit_ = labelledEdit(this, "Email 2:", D::rect(7, 78, 26, 8), D::rect(53, 75, 101, 14));
    smtpServerEdit_ = labelledEdit(this, "SMTP Server:", D::rect(7, 92, 46, 8), D::rect(53, 89, 101, 14));
    logFileEdit_ = labelledEdit(this, "Log File:", D::rect(7, 106, 28, 8), D::rect(53, 103, 101, 14));
    errorSoundEdit_ = labelledEdit(this, "Error Sound:", D::rect(7, 120, 40, 8), D::rect(53, 117, 101, 14));
    toolTipsBox_ = checkBox(this, "Tool Tips", D::rect(7, 136, 45, 10));
    startupBox_ = checkBox(this, "Add to Startup", D::rect(7, 146, 61, 10));
    everyErrorBox_ = checkBox(this, "Email on Every Error", D::rect(7, 156, 79, 10));
    everyErrorBox_->hide(); // only the settings file sets it; the dialog passes it through
    QPushButton* test1 = pushButton(this, "Test", "Test Email 1", D::rect(154, 61, 33, 14));
    QPushButton* test2 = pushButton(this, "Test", "Test Email 2", D::rect(154, 75, 33, 14));
    QPushButton* browseLog = pushButton(this, "Browse", "Browse Log File", D::rect(154, 103, 33, 14));
    QPushButton* browseSound = pushButton(this, "Browse", "Browse Error Sound", D::rect(154, 117, 33, 14));
    QPushButton* ok = pushButton(this, "OK", "OK", D::rect(137, 151, 50, 14));
    ok->setDefault(true);

    connect(test1, &QPushButton::clicked, this, &CPreferencesDlg::OnTestEmail1);
    connect(test2, &QPushButton::clicked, this, &CPreferencesDlg::OnTestEmail2);
    connect(browseLog, &QPushButton::clicked, this, &CPreferencesDlg::OnBrowseLogFile);
    connect(browseSound, &QPushButton::clicked, this, &CPreferencesDlg::OnBrowseErrorSound);
    // Only a click by the user changes the autostart entry, not a show.
    connect(startupBox_, &QCheckBox::clicked, this, &CPreferencesDlg::OnAddToStartup);
    connect(ok, &QPushButton::clicked, this, [this] {
        gatherData();
        accept();
    });
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
    startupBox_->setChecked(addToStartup == 1);
    everyErrorBox_->setChecked(everyError == 1);
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
}

// ---- Browse ----------------------------------------------------------------

void CPreferencesDlg::OnBrowseLogFile() {
    browse(logFile, {QStringLiteral("Log Files (*.log);;All Files (*)"), QStringLiteral("log")});
}

void CPreferencesDlg::OnBrowseErrorSound() {
    browse(errorSound, {QStringLiteral("WAV Files (*.wav);;All Files (*)"), QStringLiteral("wav")});
}

void CPreferencesDlg::browse(std::string& member, const FileRequest& request) {
    gatherData();
    // The data files are opened by bare names in the current directory, so
    // a file dialog that moves it must not leave it moved.
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    const QString chosen = chooseFile ? chooseFile(request) : QString();
    if (!chosen.isEmpty())
        member = QFile::encodeName(chosen).toStdString(); // the name's bytes on disk
    if (!ec)
        std::filesystem::current_path(cwd, ec);
    showData();
}

QString CPreferencesDlg::chooseWithFileDialog(const FileRequest& request) {
    // Qt's file dialog reads and, when it closes, writes its last folder and
    // view in the user's shared Qt settings (~/.config/QtProject.conf). The
    // program keeps nothing outside its current directory and the autostart
    // folder, so user-scope Qt settings are pointed below a device, where no
    // file can be made: the dialog then starts in the current directory and
    // the write fails quietly. The program itself keeps no Qt settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
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
    // Whether the server took the message is not shown: the mailbox tells.
    mailer_.sendMail(address, kTestText, address, smtpServer, kTestText);
    showData();
}

void CPreferencesDlg::message(const char* text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kErrorCaption), QString::fromLatin1(text),
                    QMessageBox::Ok, this);
    box.exec();
}

} // namespace vantrel
