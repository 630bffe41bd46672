#pragma once

#include "model/ExtraSettings.h"
#include "notify/MailSubmission.h"
#include "notify/SmtpSend.h"
#include "ui/BoundText.h"
#include "ui/SettingFields.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace vantrel {

class ChannelsPage;

struct Settings;

// The Preferences dialog: mail addresses and server, log file, error sound,
// check interval, notification mode, tool tips and the autostart entry on
// its first tab, as they always were; the settings of vantrel-extra.ini
// (mail security and login, notifications, check passes, history) on a
// second tab. The caller copies the settings in, runs the dialog and copies
// them back; OK gathers the controls first, Esc and the close box do not.
class CPreferencesDlg : public QDialog {
    Q_OBJECT
public:
    // What a Browse button asks the file chooser for.
    struct FileRequest {
        QString filter;        // name filters, ";;"-separated
        QString defaultSuffix; // added to a typed name without one
    };
    // Returns the full path of the chosen file, or an empty text when the
    // user cancelled. Tests replace it; by default it is a file dialog.
    using FileChooser = std::function<QString(const FileRequest&)>;
    // Sends the test message to and from `address` through `server` with
    // `submission`, and says how it ended. The dialog owns no mailer: the
    // caller hands it the engine's.
    using TestSender = std::function<SmtpSend(const std::string& address, const std::string& server,
                                              const MailSubmission& submission)>;

    explicit CPreferencesDlg(TestSender sendTest, QWidget* parent = nullptr);
    ~CPreferencesDlg() override;

    // Members from the settings: the nine texts, and 1 for each switch
    // that is exactly "yes".
    void copyIn(const Settings& settings);
    // Members back into the settings, switches as "yes" or "no".
    void copyOut(Settings& settings) const;
    // The second tab's settings, and the mail password as typed; the
    // Channels tab's with them.
    void copyIn(const ExtraSettings& settings, const std::string& password);
    void copyOut(ExtraSettings& settings, std::string& password) const;

    // Shows the members, then runs the dialog modally.
    int exec() override;

    // Show: members into the controls. Gather: controls into the members.
    void showData();
    void gatherData();

    void OnBrowseLogFile();
    void OnBrowseErrorSound();
    void OnAddToStartup();
    void OnTestEmail1();
    void OnTestEmail2();
    void OnBrowsePasswordFile();

    std::string logFile;
    std::string smtpServer;
    std::string email1;
    std::string email2;
    std::string errorSound;
    std::string notify;
    std::string interval;
    std::string yourEmail;
    std::string yourName;
    int toolTips = 0;
    int addToStartup = 0;
    int everyError = 0;
    ExtraSettings extra;
    std::string mailPassword;

    // The line under the fields that tells how the last Test send ended.
    QString testResult() const;

    FileChooser chooseFile;

    static constexpr const char* kErrorCaption = "Error";
    static constexpr const char* kNoAddress1 = "Please enter an email address in field 1 to test.";
    static constexpr const char* kNoAddress2 = "Please enter an email address in field 2 to test.";
    static constexpr const char* kNoServer = "Please enter an SMTP server to test.";
    static constexpr const char* kStartupFailed = "Unable to add program to start menu.";
    static constexpr const char* kTestAccepted = "Test message accepted by ";

private:
    void createControls(QWidget* page);
    void createMoreControls(QWidget* page);
    void browse(std::string& member, const FileRequest& request);
    void testEmail(const std::string& address, const char* noAddressText);
    void message(const char* text);
    QString chooseWithFileDialog(const FileRequest& request);

    TestSender sendTest_;

    QLineEdit* yourNameEdit_ = nullptr;   // 1020
    QLineEdit* yourEmailEdit_ = nullptr;  // 1021
    QComboBox* intervalBox_ = nullptr;    // 1017
    QComboBox* notifyBox_ = nullptr;      // 1018
    QLineEdit* email1Edit_ = nullptr;     // 1003
    QLineEdit* email2Edit_ = nullptr;     // 1004
    QLineEdit* smtpServerEdit_ = nullptr; // 1014
    QLineEdit* logFileEdit_ = nullptr;    // 1019
    QLineEdit* errorSoundEdit_ = nullptr; // 1025
    QCheckBox* toolTipsBox_ = nullptr;    // 1027
    QCheckBox* startupBox_ = nullptr;     // 1033
    QCheckBox* everyErrorBox_ = nullptr;  // 1035, never shown
    QLabel* testResult_ = nullptr;

    QTabWidget* tabs_ = nullptr;
    ChannelsPage* channels_ = nullptr;
    // The second tab's keys of vantrel-extra.ini, and the mail password.
    SettingFields fields_;
    QLineEdit* mailPasswordEdit_ = nullptr;

    BoundText logFileText_;
    BoundText smtpServerText_;
    BoundText email1Text_;
    BoundText email2Text_;
    BoundText errorSoundText_;
    BoundText notifyText_;
    BoundText intervalText_;
    BoundText yourEmailText_;
    BoundText yourNameText_;
    BoundText mailPasswordText_;
};

} // namespace vantrel
