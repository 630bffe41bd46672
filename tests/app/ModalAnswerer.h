#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <string>
#include <vector>

namespace vantrel::test {

// Answers the message boxes the real window opens, as a user would: while it
// lives, it looks for an open QMessageBox every few milliseconds, records its
// caption and text and presses the next button from `answers` (Ok or Yes
// when none is left).
class ModalAnswerer {
public:
    struct Seen {
        std::string caption;
        std::string text;
    };

    explicit ModalAnswerer(std::deque<QMessageBox::StandardButton> answers = {}) : answers_(std::move(answers)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { answer(); });
        poll_.start(5);
    }

    const std::vector<Seen>& seen() const { return seen_; }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Seen& s : seen_)
            out.push_back(s.text);
        return out;
    }

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        seen_.push_back({box->windowTitle().toStdString(), box->text().toStdString()});
        QMessageBox::StandardButton want = QMessageBox::NoButton;
        if (!answers_.empty()) {
            want = answers_.front();
            answers_.pop_front();
        }
        QAbstractButton* button = want != QMessageBox::NoButton ? box->button(want) : nullptr;
        if (!button)
            button = box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box->button(QMessageBox::Yes);
        if (button)
            button->click();
    }

    std::deque<QMessageBox::StandardButton> answers_;
    std::vector<Seen> seen_;
    QTimer poll_;
};

} // namespace vantrel::test
