#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

namespace vantrel::test {

// Acts on a modal dialog of type T as a user would: while it lives, it looks
// every few milliseconds for a visible T that is the active modal widget and
// runs `act` on it once. A dialog still open after `limitMs` (a script that
// failed to close it) is rejected, so a test never waits without end.
template <typename T> class ModalScript {
public:
    explicit ModalScript(std::function<void(T&)> act, int limitMs = 20000) : act_(std::move(act)) {
        clock_.start();
        QObject::connect(&poll_, &QTimer::timeout, [this, limitMs] { poll(limitMs); });
        poll_.start(5);
    }

    bool ran() const { return ran_; }
    bool timedOut() const { return timedOut_; }

private:
    void poll(int limitMs) {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!ran_ && dialog && dialog->isVisible()) {
            ran_ = true;
            act_(*dialog);
            return;
        }
        if (clock_.elapsed() > limitMs) {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                timedOut_ = true;
                open->reject();
            }
        }
    }

    std::function<void(T&)> act_;
    QTimer poll_;
    QElapsedTimer clock_;
    bool ran_ = false;
    bool timedOut_ = false;
};

} // namespace vantrel::test
