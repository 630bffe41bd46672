#include "ui/SiteOptionsDlg.h"

#include "monitor/CheckEvaluator.h"
#include "monitor/CheckRules.h"
#include "monitor/SecretStore.h"
#include "monitor/SiteRequest.h"
#include "platform/CurlHttpClient.h"
#include "ui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace vantrel {

namespace {

// The one secret "Test now" may send: the one typed, or the stored one.
class OneSecret : public SecretStore {
public:
    explicit OneSecret(std::optional<std::string> secret) : secret_(std::move(secret)) {}
    std::optional<std::string> secret(const std::string&) const override { return secret_; }

private:
    std::optional<std::string> secret_;
};

// A combo box of fixed choices, each shown in words and kept as its file
// text; a text the file holds that is none of them is kept as a choice of
// its own, so that opening the dialog changes nothing.
QComboBox* choices(std::initializer_list<std::pair<const char*, const char*>> items,
                   const std::string& current) {
    auto* box = new QComboBox;
    for (const auto& [shown, value] : items)
        box->addItem(QString::fromUtf8(shown), QString::fromLatin1(value));
    int at = box->findData(QtText::toQt(current));
    if (at < 0) {
        box->addItem(QtText::toQt(current), QtText::toQt(current));
        at = box->count() - 1;
    }
    box->setCurrentIndex(at);
    return box;
}

std::string chosen(const QComboBox* box) {
    return QtText::fromQt(box->currentData().toString());
}

QString pageStart(const std::string& body) {
    QString shown = QString::fromUtf8(
        body.data(), static_cast<qsizetype>(std::min<size_t>(body.size(), SiteOptionsDlg::kPageBytesShown)));
    for (QChar& c : shown)
        if (c.unicode() < 0x20 && c != QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return shown;
}

} // namespace

SiteOptionsDlg::SiteOptionsDlg(const SiteEntry& entry, const SecretStore* secrets, QWidget* parent)
    : QDialog(parent), entry_(entry), secrets_(secrets), cancel_(std::make_shared<std::atomic<bool>>(false)) {
    const SiteOptions& o = entry.options;
    setWindowTitle(QStringLiteral("Advanced Options"));
    setMinimumWidth(680);
    auto* outer = new QVBoxLayout(this);

    // Each field gets its label, the same accessible name, and a message
    // beside it that says what is wrong with what was typed.
    auto row = [this](QFormLayout* form, const char* label, QWidget* field,
                      std::initializer_list<const char*> keys) {
        const QString text = QString::fromUtf8(label);
        field->setAccessibleName(text);
        auto* message = new QLabel;
        message->setStyleSheet(QStringLiteral("color: #c02020"));
        message->setWordWrap(true);
        message->setAccessibleName(text + QStringLiteral(" problem"));
        message->hide();
        auto* line = new QHBoxLayout;
        line->addWidget(field, 3);
        line->addWidget(message, 2);
        auto* caption = new QLabel(text);
        caption->setBuddy(field);
        form->addRow(caption, line);
        for (const char* key : keys)
            messages_[key] = message;
    };
    auto checkRow = [this](QFormLayout* form, QCheckBox* box, const char* key) {
        box->setAccessibleName(box->text());
        auto* message = new QLabel;
        message->setStyleSheet(QStringLiteral("color: #c02020"));
        message->setAccessibleName(box->text() + QStringLiteral(" problem"));
        message->hide();
        auto* line = new QHBoxLayout;
        line->addWidget(box, 3);
        line->addWidget(message, 2);
        form->addRow(QString(), line);
        messages_[key] = message;
    };
    auto lineEdit = [](const std::string& text, const char* placeholder) {
        auto* edit = new QLineEdit(QtText::toQt(text));
        edit->setPlaceholderText(QString::fromUtf8(placeholder));
        return edit;
    };

    auto* response = new QGroupBox(QStringLiteral("Response"));
    auto* responseForm = new QFormLayout(response);
    statusCodes_ = lineEdit(o.statusCodes, "any status, or e.g. 200-299,301");
    row(responseForm, "Expected status:", statusCodes_, {"STATUSCODES"});
    match_ = choices({{"contains the test string", ""},
                      {"contains it, ignoring case", "nocase"},
                      {"matches it as a regular expression", "regex"},
                      {"has the JSON value", "json"}},
                     o.match == "text" ? std::string() : o.match);
    row(responseForm, "The page:", match_, {"MATCH"});
    testString_ = lineEdit(entry.testString, "empty: no test");
    row(responseForm, "Test string:", testString_, {"TESTSTRING"});
    jsonPointer_ = lineEdit(o.jsonPointer, "e.g. /status");
    row(responseForm, "JSON pointer:", jsonPointer_, {"JSONPOINTER"});
    invert_ = new QCheckBox(QStringLiteral("Invert: the page must not match"));
    invert_->setChecked(o.invert == "yes");
    checkRow(responseForm, invert_, "INVERT");
    slowMs_ = lineEdit(o.slowMs, "never slow");
    row(responseForm, "Slow above (ms):", slowMs_, {"SLOWMS"});
    slowCount_ = lineEdit(o.slowCount, "1");
    row(responseForm, "Slow after (checks in a row):", slowCount_, {"SLOWCOUNT"});
    outer->addWidget(response);

    auto* request = new QGroupBox(QStringLiteral("Request"));
    auto* requestForm = new QFormLayout(request);
    method_ = choices({{"GET", ""}, {"HEAD", "HEAD"}}, o.method == "GET" ? std::string() : o.method);
    row(requestForm, "Method:", method_, {"METHOD"});
    std::string headerLines;
    for (const std::string& h : o.headers)
        headerLines += h + "\n";
    headers_ = new QPlainTextEdit(QtText::toQt(headerLines));
    headers_->setPlaceholderText(QStringLiteral("one Name: value a line"));
    headers_->setTabChangesFocus(true);
    headers_->setFixedHeight(fontMetrics().lineSpacing() * 4);
    row(requestForm, "Extra headers:", headers_, {"HEADER"});
    auth_ = choices({{"none", ""}, {"basic", "basic"}, {"bearer token", "bearer"}}, o.auth);
    row(requestForm, "Login:", auth_, {"AUTH"});
    authUser_ = lineEdit(o.authUser, "for a basic login");
    row(requestForm, "User:", authUser_, {"AUTHUSER"});
    secret_ = lineEdit("", "kept in the keyring; empty: unchanged");
    secret_->setEchoMode(QLineEdit::Password);
    row(requestForm, "Password or token:", secret_, {});
    userAgent_ = lineEdit(o.userAgent, "Vantrel 1.0");
    row(requestForm, "User-Agent:", userAgent_, {});
    redirects_ = new QCheckBox(QStringLiteral("Follow redirects"));
    redirects_->setChecked(o.redirects != "no");
    checkRow(requestForm, redirects_, "REDIRECTS");
    insecure_ = new QCheckBox(QStringLiteral("Accept an invalid certificate"));
    insecure_->setChecked(o.insecure == "yes");
    checkRow(requestForm, insecure_, "INSECURE");
    outer->addWidget(request);

    auto* schedule = new QGroupBox(QStringLiteral("Schedule"));
    auto* scheduleForm = new QFormLayout(schedule);
    every_ = lineEdit(o.every, "the check interval of Preferences");
    row(scheduleForm, "Check every (minutes):", every_, {"EVERY"});
    outer->addWidget(schedule);

    auto* test = new QHBoxLayout;
    testButton_ = new QPushButton(QStringLiteral("Test now"));
    testButton_->setAccessibleName(QStringLiteral("Test now"));
    testButton_->setAutoDefault(false);
    test->addWidget(testButton_, 0, Qt::AlignTop);
    testResult_ = new QLabel;
    testResult_->setTextFormat(Qt::PlainText);
    testResult_->setWordWrap(true);
    testResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    testResult_->setAccessibleName(QStringLiteral("Test result"));
    testResult_->setMinimumHeight(fontMetrics().lineSpacing() * 6);
    testResult_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    test->addWidget(testResult_, 1);
    outer->addLayout(test);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    outer->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SiteOptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SiteOptionsDlg::reject);
    connect(testButton_, &QPushButton::clicked, this, &SiteOptionsDlg::testNow);
    connect(&watcher_, &QFutureWatcher<TestOutcome>::finished, this, &SiteOptionsDlg::showTestResult);

    for (QLineEdit* edit : {statusCodes_, testString_, jsonPointer_, slowMs_, slowCount_, authUser_, every_})
        connect(edit, &QLineEdit::textChanged, this, &SiteOptionsDlg::validate);
    for (QComboBox* box : {match_, method_, auth_})
        connect(box, &QComboBox::currentIndexChanged, this, &SiteOptionsDlg::validate);
    for (QCheckBox* box : {invert_, redirects_, insecure_})
        connect(box, &QCheckBox::toggled, this, &SiteOptionsDlg::validate);
    connect(headers_, &QPlainTextEdit::textChanged, this, &SiteOptionsDlg::validate);
    validate();
}

SiteOptionsDlg::~SiteOptionsDlg() {
    // A test still running ends at once; its result goes nowhere.
    cancel_->store(true);
}

SiteEntry SiteOptionsDlg::entry() const {
    SiteEntry e = entry_;
    SiteOptions& o = e.options;
    auto text = [](const QLineEdit* edit) { return QtText::fromQt(edit->text().trimmed()); };
    e.testString = QtText::fromQt(testString_->text());
    o.statusCodes = text(statusCodes_);
    o.match = chosen(match_);
    // A pointer means something only to a JSON match.
    o.jsonPointer = o.match == "json" ? text(jsonPointer_) : std::string();
    o.invert = invert_->isChecked() ? "yes" : "";
    o.slowMs = text(slowMs_);
    o.slowCount = text(slowCount_) == "1" ? std::string() : text(slowCount_);
    o.method = chosen(method_);
    o.headers.clear();
    for (const QString& line : headers_->toPlainText().split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            o.headers.push_back(QtText::fromQt(line.trimmed()));
    o.auth = chosen(auth_);
    o.authUser = o.auth.empty() ? std::string() : text(authUser_);
    o.userAgent = text(userAgent_);
    o.redirects = redirects_->isChecked() ? "" : "no";
    o.insecure = insecure_->isChecked() ? "yes" : "";
    o.every = text(every_);
    return e;
}

std::string SiteOptionsDlg::secret() const {
    return QtText::fromQt(secret_->text());
}

QString SiteOptionsDlg::testResult() const {
    return testResult_->text();
}

bool SiteOptionsDlg::validate() {
    for (auto& [key, label] : messages_) {
        label->clear();
        label->hide();
    }
    const CheckRules rules = CheckRules::from(entry());
    for (const CheckRules::Problem& p : rules.problems) {
        auto it = messages_.find(p.key);
        if (it == messages_.end())
            continue;
        QLabel* label = it->second;
        const QString message = QtText::toQt(p.message);
        label->setText(label->text().isEmpty() ? message : label->text() + QLatin1Char('\n') + message);
        label->show();
    }
    jsonPointer_->setEnabled(rules.match == CheckRules::Match::Json);
    authUser_->setEnabled(rules.auth == CheckRules::Auth::Basic);
    secret_->setEnabled(rules.auth != CheckRules::Auth::None);
    // Messages take room: the dialog grows rather than squeezing its fields.
    if (layout()) {
        layout()->activate();
        if (sizeHint().height() > height())
            resize(width(), sizeHint().height());
    }
    return rules.problems.empty();
}

void SiteOptionsDlg::accept() {
    if (validate())
        QDialog::accept();
}

void SiteOptionsDlg::testNow() {
    if (watcher_.isRunning() || !validate())
        return;
    const SiteEntry site = entry();
    // The secret is looked up here, on this thread: the worker gets a copy.
    std::optional<std::string> secret;
    if (!secret_->text().isEmpty())
        secret = this->secret();
    else if (secrets_)
        secret = secrets_->secret(SiteRequest::secretKey(site.url));
    testButton_->setEnabled(false);
    testResult_->setText(QStringLiteral("Testing ") + QtText::toQt(site.url) + QStringLiteral(" ..."));
    const std::shared_ptr<std::atomic<bool>> cancel = cancel_;
    watcher_.setFuture(QtConcurrent::run([site, secret, cancel]() -> TestOutcome {
        const CheckRules rules = CheckRules::from(site);
        const OneSecret store(secret);
        HttpRequest request = SiteRequest::build(site, rules, &store);
        request.cancel = cancel.get();
        CurlHttpClient http;
        const HttpResponse response = http.perform(request);
        const CheckVerdict v = CheckEvaluator(rules).judge(response);
        QString text =
            QStringLiteral("Outcome: ") + QString::fromLatin1(CheckVerdict::statusFor(v.outcome, v.slow));
        text += QStringLiteral("\nReason: ") +
                (v.reason.empty() ? QStringLiteral("none") : QtText::toQt(v.reason));
        text += QStringLiteral("\nStatus: ") + (response.statusCode > 0
                                                    ? QStringLiteral("HTTP %1").arg(response.statusCode)
                                                    : QStringLiteral("none"));
        text += QStringLiteral("\nTime: ") + (response.totalMs >= 0
                                                  ? QStringLiteral("%1 ms").arg(qRound(response.totalMs))
                                                  : QStringLiteral("unknown"));
        text += QStringLiteral("\nPage: ") + pageStart(response.body);
        return TestOutcome{text};
    }));
}

void SiteOptionsDlg::showTestResult() {
    testButton_->setEnabled(true);
    testResult_->setText(watcher_.result().text);
    emit testFinished();
}

} // namespace vantrel
