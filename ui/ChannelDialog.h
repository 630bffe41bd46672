#pragma once

#include "notify/AlertChannel.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace vantrel {

// Adds or edits one alert channel: its kind, endpoint, token (kept in the
// keyring, never shown), token file and, for a webhook, the JSON template.
// A channel the program cannot use (an endpoint of the wrong form, a
// template that gives no valid JSON) is refused with the reason under the
// fields, and OK then does nothing until it is mended.
class ChannelDialog : public QDialog {
    Q_OBJECT
public:
    // `channel` with number 0: a new one.
    ChannelDialog(const AlertChannel& channel, const std::string& tokenFile, QWidget* parent = nullptr);

    // The channel as typed (its secret: the token typed, empty when left
    // untouched) and its token file.
    AlertChannel channel() const;
    std::string tokenFile() const;
    // What was refused, as shown; empty when nothing is.
    QString problem() const;

public slots:
    void accept() override;

private:
    bool validate();
    void kindChanged();

    int number_;
    QComboBox* kind_;
    QLineEdit* endpoint_;
    QLineEdit* token_;
    QLineEdit* tokenFile_;
    QPlainTextEdit* template_;
    QLabel* problem_;
};

} // namespace vantrel
