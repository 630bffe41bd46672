#pragma once

#include "model/SiteEntry.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vantrel {

class SecretStore;

// The "Advanced..." dialog of a site: every option beyond the eight fields,
// with the test string it works on. Input the check cannot use is refused
// with a message beside its field (RE2's own for a pattern), and OK stays
// without effect until it is mended. "Test now" runs the check once with
// the options as typed, on a worker thread, and shows the outcome, the
// reason, the status, the time and the first bytes of the page; the window
// keeps answering meanwhile.
class SiteOptionsDlg : public QDialog {
    Q_OBJECT
public:
    // `entry` is the current entry; `secrets` (may be null) holds the stored
    // login secrets, used by "Test now" when none is typed.
    SiteOptionsDlg(const SiteEntry& entry, const SecretStore* secrets, QWidget* parent = nullptr);
    ~SiteOptionsDlg() override;

    // The entry as given, with the test string and options as typed.
    SiteEntry entry() const;
    // The login's password or token as typed; empty when left untouched.
    std::string secret() const;

    // The result of the last "Test now" as shown, for tests.
    QString testResult() const;
    // Whether a test is running.
    bool testRunning() const { return watcher_.isRunning(); }

    static constexpr int kPageBytesShown = 300;

public slots:
    void accept() override;
    void testNow();

signals:
    void testFinished();

private:
    // Shows each problem beside its field; true when there is none.
    bool validate();
    void showTestResult();

    SiteEntry entry_;
    const SecretStore* secrets_;
    QLineEdit* statusCodes_;
    QComboBox* match_;
    QLineEdit* testString_;
    QLineEdit* jsonPointer_;
    QCheckBox* invert_;
    QLineEdit* slowMs_;
    QLineEdit* slowCount_;
    QComboBox* method_;
    QPlainTextEdit* headers_;
    QComboBox* auth_;
    QLineEdit* authUser_;
    QLineEdit* secret_;
    QLineEdit* userAgent_;
    QCheckBox* redirects_;
    QCheckBox* insecure_;
    QLineEdit* every_;
    QPushButton* testButton_;
    QLabel* testResult_;
    // The message label beside each field, by the file key it checks.
    std::map<std::string, QLabel*> messages_;

    struct TestOutcome {
        QString text;
    };
    QFutureWatcher<TestOutcome> watcher_;
    // Set when the dialog goes: a test still running ends at once.
    std::shared_ptr<std::atomic<bool>> cancel_;
};

} // namespace vantrel
