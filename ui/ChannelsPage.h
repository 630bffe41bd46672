#pragma once

#include "model/ExtraSettings.h"
#include "notify/AlertChannel.h"

#include <QFutureWatcher>
#include <QWidget>

#include <functional>
#include <map>
#include <string>

class QLabel;
class QListWidget;
class QCheckBox;
class QPushButton;
class QSpinBox;

namespace vantrel {

class ChannelDialog;

// The Channels page of Preferences: the alert channels in a list, with
// Add, Edit, Remove and "Send Test", which sends a test alert to the
// selected channel on a worker thread and shows the service's answer; below
// them the reminders and whether report mails explain a failure. The
// page edits a copy of the channel settings, taken in and given back with
// the dialog's other settings.
class ChannelsPage : public QWidget {
    Q_OBJECT
public:
    // Where a channel's secret is read and kept (the keyring); set once by
    // the program. Without it, a typed token is used for the test only.
    struct Secrets {
        std::function<std::string(const std::string& key)> read;
        std::function<void(const std::string& key, const std::string& secret)> write;
    };
    static void setSecrets(Secrets secrets);

    explicit ChannelsPage(QWidget* parent = nullptr);
    ~ChannelsPage() override;

    void copyIn(const ExtraSettings& settings);
    void copyOut(ExtraSettings& settings) const;

    // The answer of the last "Send Test", as shown.
    QString answer() const;
    bool testRunning() const { return watcher_.isRunning(); }
    // The dialog of an Add or Edit under way, for tests; null when none.
    ChannelDialog* openDialog() const { return dialog_; }

    static constexpr const char* kTestTitle = "Vantrel Test";

public slots:
    void add();
    void edit();
    void remove();
    void sendTest();

signals:
    void testFinished();

private:
    // Fills the list and selects channel `select` (0: none).
    void showList(int select);
    void updateButtons();
    void openDialog(const AlertChannel& channel);
    void taken(const AlertChannel& channel, const std::string& tokenFile);
    int selectedNumber() const;

    std::map<int, std::string> channels_, tokenFiles_, templates_;
    std::map<std::string, std::string> typedSecrets_; // by secret key, this session's
    QListWidget* list_;
    QPushButton* edit_;
    QPushButton* remove_;
    QPushButton* test_;
    QLabel* answer_;
    QSpinBox* remindEvery_;
    QSpinBox* remindMax_;
    QCheckBox* mailExplain_;
    ChannelDialog* dialog_ = nullptr;
    QFutureWatcher<std::string> watcher_;
};

} // namespace vantrel
