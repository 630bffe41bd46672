#include "ui/ChannelsPage.h"

#include "model/DateText.h"
#include "model/ExtraSettingsFile.h"
#include "model/ExtraSettingsKeys.h"
#include "notify/AlertMessage.h"
#include "notify/ChannelHub.h"
#include "notify/ChannelRequest.h"
#include "platform/HttpClient.h"
#include "platform/SecretFile.h"
#include "ui/ChannelDialog.h"
#include "ui/QtText.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrent>

#include <ctime>

namespace vantrel {

namespace {

ChannelsPage::Secrets& secrets() {
    static ChannelsPage::Secrets s;
    return s;
}

QPushButton* button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setAccessibleName(QString::fromLatin1(text));
    return b;
}

// Sends a test alert, on a worker thread; the answer in a line.
std::string sendTestAlert(AlertChannel channel) {
    AlertMessage m;
    m.title = ChannelsPage::kTestTitle;
    m.url = "http://127.0.0.1/";
    m.state = "down";
    m.reason = "a test alert from Preferences";
    m.time = DateText::dateTime(std::time(nullptr));
    const std::optional<HttpRequest> request =
        ChannelRequest::build(channel, m, "vantrel-test-" + std::to_string(std::time(nullptr)));
    if (!request)
        return "Not sent: the template gives no valid JSON.";
    const HttpResponse r = ChannelHub::defaultHttp()->perform(*request);
    return (ChannelRequest::delivered(r) ? "Delivered: " : "Failed: ") + ChannelRequest::describe(r);
}

} // namespace

void ChannelsPage::setSecrets(Secrets s) {
    secrets() = std::move(s);
}

ChannelsPage::ChannelsPage(QWidget* parent) : QWidget(parent) {
    list_ = new QListWidget(this);
    list_->setAccessibleName(QStringLiteral("Channels"));
    auto* add = button("Add...", this);
    edit_ = button("Edit...", this);
    remove_ = button("Remove", this);
    test_ = button("Send Test", this);
    answer_ = new QLabel(this);
    answer_->setWordWrap(true);
    answer_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    answer_->setAccessibleName(QStringLiteral("Answer"));
    answer_->setBuddy(test_); // the answer of Send Test
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {add, edit_, remove_, test_})
        buttons->addWidget(b);
    remindEvery_ = new QSpinBox(this);
    remindEvery_->setRange(0, ExtraSettingsFile::kMaxRemindEvery);
    remindEvery_->setSpecialValueText(QStringLiteral("never"));
    remindEvery_->setSuffix(QStringLiteral(" min"));
    remindMax_ = new QSpinBox(this);
    remindMax_->setRange(0, ExtraSettingsFile::kMaxReminders);
    mailExplain_ = new QCheckBox(QStringLiteral("Mails explain the failure"), this);
    mailExplain_->setAccessibleName(mailExplain_->text());
    // What each setting does and its default, from the table of keys.
    const auto tip = [](const char* key) { return QtText::toQt(extraSettingKey(key).help()); };
    list_->setToolTip(tip("CHANNELn"));
    remindEvery_->setToolTip(tip("REMINDEVERY"));
    remindMax_->setToolTip(tip("REMINDMAX"));
    mailExplain_->setToolTip(tip("MAILEXPLAIN"));
    auto* form = new QFormLayout;
    const struct {
        const char* label;
        QSpinBox* box;
    } rows[] = {{"Remind every:", remindEvery_}, {"Reminders at most:", remindMax_}};
    for (const auto& row : rows) {
        row.box->setAccessibleName(QString::fromLatin1(row.label));
        form->addRow(QString::fromLatin1(row.label), row.box);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    layout->addWidget(answer_);
    layout->addLayout(form);
    layout->addWidget(mailExplain_);
    connect(add, &QPushButton::clicked, this, &ChannelsPage::add);
    connect(edit_, &QPushButton::clicked, this, &ChannelsPage::edit);
    connect(remove_, &QPushButton::clicked, this, &ChannelsPage::remove);
    connect(test_, &QPushButton::clicked, this, &ChannelsPage::sendTest);
    connect(list_, &QListWidget::itemDoubleClicked, this, &ChannelsPage::edit);
    connect(list_, &QListWidget::currentRowChanged, this, &ChannelsPage::updateButtons);
    connect(&watcher_, &QFutureWatcher<std::string>::finished, this, [this] {
        answer_->setText(QtText::toQt(watcher_.result()));
        updateButtons();
        emit testFinished();
    });
    showList(0);
}

ChannelsPage::~ChannelsPage() {
    // The test's request is bounded (30 s); the page waits for it rather
    // than leave the thread a dangling page.
    watcher_.waitForFinished();
}

void ChannelsPage::copyIn(const ExtraSettings& settings) {
    channels_ = settings.channels;
    tokenFiles_ = settings.channelTokenFiles;
    templates_ = settings.channelTemplates;
    remindEvery_->setValue(settings.remindEvery);
    remindMax_->setValue(settings.remindMax);
    mailExplain_->setChecked(settings.mailExplain);
    showList(0);
}

void ChannelsPage::copyOut(ExtraSettings& settings) const {
    settings.channels = channels_;
    settings.channelTokenFiles = tokenFiles_;
    settings.channelTemplates = templates_;
    settings.remindEvery = remindEvery_->value();
    settings.remindMax = remindMax_->value();
    settings.mailExplain = mailExplain_->isChecked();
}

QString ChannelsPage::answer() const {
    return answer_->text();
}

int ChannelsPage::selectedNumber() const {
    const QListWidgetItem* item = list_->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

void ChannelsPage::showList(int select) {
    {
        QSignalBlocker quiet(list_);
        list_->clear();
        for (const auto& [number, value] : channels_) {
            auto* item =
                new QListWidgetItem(QStringLiteral("%1  %2").arg(number).arg(QtText::toQt(value)), list_);
            item->setData(Qt::UserRole, number);
            if (number == select)
                list_->setCurrentItem(item);
        }
    }
    updateButtons();
}

void ChannelsPage::updateButtons() {
    const bool any = selectedNumber() != 0;
    edit_->setEnabled(any);
    remove_->setEnabled(any);
    test_->setEnabled(any && !watcher_.isRunning());
}

void ChannelsPage::add() {
    AlertChannel c;
    c.number = 0;
    openDialog(c);
}

void ChannelsPage::edit() {
    const int n = selectedNumber();
    std::optional<AlertChannel> c = AlertChannel::parse(n, channels_[n]);
    if (!c) {
        // A channel typed by hand that cannot be read: edit it as a webhook
        // with its text as the endpoint, so it can be mended.
        c = AlertChannel{n, ChannelKind::Webhook, channels_[n], {}, {}};
    }
    c->bodyTemplate = templates_[n];
    openDialog(*c);
}

void ChannelsPage::openDialog(const AlertChannel& channel) {
    if (dialog_)
        return;
    const auto file = tokenFiles_.find(channel.number);
    dialog_ = new ChannelDialog(channel, file == tokenFiles_.end() ? std::string() : file->second, this);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog_, &QDialog::accepted, this, [this] { taken(dialog_->channel(), dialog_->tokenFile()); });
    connect(dialog_, &QObject::destroyed, this, [this] { dialog_ = nullptr; });
    dialog_->open(); // window-modal, without a loop of its own
}

void ChannelsPage::taken(const AlertChannel& typed, const std::string& tokenFile) {
    AlertChannel c = typed;
    if (c.number == 0) {
        c.number = 1;
        while (channels_.count(c.number))
            ++c.number;
    }
    // The token stays under the channel's old name when only other fields
    // changed; a new one goes to the keyring under the new name.
    std::string oldKey;
    if (channels_.count(c.number))
        if (std::optional<AlertChannel> old = AlertChannel::parse(c.number, channels_[c.number]))
            oldKey = old->secretKey();
    std::string secret = c.secret;
    if (secret.empty() && !oldKey.empty()) {
        if (auto t = typedSecrets_.find(oldKey); t != typedSecrets_.end())
            secret = t->second;
        else if (secrets().read)
            secret = secrets().read(oldKey);
    }
    channels_[c.number] = c.value();
    if (tokenFile.empty())
        tokenFiles_.erase(c.number);
    else
        tokenFiles_[c.number] = tokenFile;
    if (c.bodyTemplate.empty())
        templates_.erase(c.number);
    else
        templates_[c.number] = c.bodyTemplate;
    if (!typed.secret.empty() || (!secret.empty() && c.secretKey() != oldKey)) {
        typedSecrets_[c.secretKey()] = secret;
        if (secrets().write)
            secrets().write(c.secretKey(), secret);
    }
    showList(c.number);
}

void ChannelsPage::remove() {
    const int n = selectedNumber();
    channels_.erase(n);
    tokenFiles_.erase(n);
    templates_.erase(n);
    showList(0);
}

void ChannelsPage::sendTest() {
    const int n = selectedNumber();
    std::optional<AlertChannel> c = AlertChannel::parse(n, channels_[n]);
    if (!c || watcher_.isRunning())
        return;
    if (auto t = templates_.find(n); t != templates_.end())
        c->bodyTemplate = t->second;
    if (auto f = tokenFiles_.find(n); f != tokenFiles_.end()) {
        const SecretFile::Result r = SecretFile::read(f->second, "channel token file");
        if (r.status != SecretFile::Status::Ok) {
            answer_->setText(QtText::toQt(r.message));
            return;
        }
        c->secret = r.secret;
    } else if (auto t = typedSecrets_.find(c->secretKey()); t != typedSecrets_.end()) {
        c->secret = t->second;
    } else if (secrets().read) {
        c->secret = secrets().read(c->secretKey());
    }
    answer_->setText(QStringLiteral("Sending..."));
    test_->setEnabled(false);
    watcher_.setFuture(QtConcurrent::run(sendTestAlert, *c));
}

} // namespace vantrel
