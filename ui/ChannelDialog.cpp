#include "ui/ChannelDialog.h"

#include "notify/AlertTemplate.h"
#include "ui/QtText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantrel {

namespace {

// What the endpoint holds for each kind, as the field's hint.
QString endpointHint(ChannelKind kind) {
    switch (kind) {
    case ChannelKind::Ntfy:
        return QStringLiteral("https://ntfy.sh/my-alerts");
    case ChannelKind::Gotify:
        return QStringLiteral("https://gotify.example.org");
    case ChannelKind::Matrix:
        return QStringLiteral("https://matrix.org/!roomid:matrix.org");
    case ChannelKind::Slack:
    case ChannelKind::Discord:
        return QStringLiteral("the webhook's URL, or a name when the URL is the token");
    case ChannelKind::Telegram:
        return QStringLiteral("the chat id: -100123456");
    case ChannelKind::Webhook:
        return QStringLiteral("https://hooks.example.org/vantrel");
    }
    return {};
}

} // namespace

ChannelDialog::ChannelDialog(const AlertChannel& channel, const std::string& tokenFile, QWidget* parent)
    : QDialog(parent), number_(channel.number) {
    setWindowTitle(channel.number == 0 ? QStringLiteral("Add Channel") : QStringLiteral("Edit Channel"));
    auto* form = new QFormLayout;
    kind_ = new QComboBox;
    for (ChannelKind k : AlertChannel::kKinds)
        kind_->addItem(QString::fromLatin1(AlertChannel::kindName(k)));
    kind_->setCurrentIndex(static_cast<int>(channel.kind));
    endpoint_ = new QLineEdit(QtText::toQt(channel.endpoint));
    token_ = new QLineEdit;
    token_->setEchoMode(QLineEdit::Password);
    token_->setPlaceholderText(channel.number == 0 ? QString() : QStringLiteral("unchanged"));
    tokenFile_ = new QLineEdit(QtText::toQt(tokenFile));
    template_ = new QPlainTextEdit(QtText::toQt(channel.bodyTemplate));
    template_->setPlaceholderText(QString::fromLatin1(AlertTemplate::kDefaultJson));
    template_->setTabChangesFocus(true);
    const struct {
        const char* label;
        QWidget* field;
    } rows[] = {{"Kind:", kind_},
                {"Endpoint:", endpoint_},
                {"Token:", token_},
                {"Token file:", tokenFile_},
                {"Template:", template_}};
    for (const auto& row : rows) {
        const QString label = QString::fromLatin1(row.label);
        row.field->setAccessibleName(label);
        form->addRow(label, row.field);
    }
    problem_ = new QLabel;
    problem_->setWordWrap(true);
    problem_->setAccessibleName(QStringLiteral("Problem"));
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ChannelDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChannelDialog::reject);
    connect(kind_, &QComboBox::currentIndexChanged, this, &ChannelDialog::kindChanged);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
    kindChanged();
    resize(460, sizeHint().height());
}

void ChannelDialog::kindChanged() {
    const auto kind = static_cast<ChannelKind>(kind_->currentIndex());
    endpoint_->setPlaceholderText(endpointHint(kind));
    template_->setEnabled(kind == ChannelKind::Webhook);
}

AlertChannel ChannelDialog::channel() const {
    AlertChannel c;
    c.number = number_;
    c.kind = static_cast<ChannelKind>(kind_->currentIndex());
    c.endpoint = QtText::fromQt(endpoint_->text().trimmed());
    c.secret = QtText::fromQt(token_->text());
    if (c.kind == ChannelKind::Webhook)
        c.bodyTemplate =
            QtText::fromQt(template_->toPlainText().replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed());
    return c;
}

std::string ChannelDialog::tokenFile() const {
    return QtText::fromQt(tokenFile_->text().trimmed());
}

QString ChannelDialog::problem() const {
    return problem_->text();
}

bool ChannelDialog::validate() {
    const AlertChannel c = channel();
    std::string error;
    if (!AlertChannel::parse(1, c.value(), &error)) {
        problem_->setText(QtText::toQt(error));
        return false;
    }
    if (!c.bodyTemplate.empty()) {
        if (std::optional<std::string> why = AlertTemplate(c.bodyTemplate).jsonProblem()) {
            problem_->setText(QtText::toQt(*why));
            return false;
        }
    }
    problem_->clear();
    return true;
}

void ChannelDialog::accept() {
    if (validate())
        QDialog::accept();
}

} // namespace vantrel
