#include "app/QtEventPump.h"

#include "app/ScrollThrough.h"
#include "notify/WorkerAlongside.h"
#include "ui/PacedDisplay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <deque>
#include <exception>
#include <memory>
#include <thread>
#include <utility>

namespace vantrel {

namespace {

bool onGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool isUserInput(const QObject* receiver, const QEvent* event) {
    switch (event->type()) {
    case QEvent::Shortcut: // a key that matched a menu or button shortcut
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        // Taken where it enters a window; from there the window hands it
        // on to its widgets.
        return receiver->isWindowType();
    default:
        return false;
    }
}

} // namespace

// Keeps user input back while the pump waits: an event filter on the
// application that takes a copy of each input event a window is about to
// get, and swallows the event.
class HeldInput : public QObject {
public:
    ~HeldInput() override {
        if (auto* app = QCoreApplication::instance())
            app->removeEventFilter(this);
    }

    // Set while the pump waits; cleared while the one dispatched event is
    // handled. Restores the earlier setting when it goes.
    class Holding {
    public:
        Holding(HeldInput& held, bool on) : held_(held), was_(std::exchange(held.holding_, on)) {
            held_.install();
            ++held_.depth_;
        }
        ~Holding() {
            held_.holding_ = was_;
            if (--held_.depth_ == 0 && !held_.events_.empty())
                QTimer::singleShot(0, &held_, &HeldInput::release);
        }
        Holding(const Holding&) = delete;
        Holding& operator=(const Holding&) = delete;

    private:
        HeldInput& held_;
        bool was_;
    };

    // Delivers the oldest kept event, with nothing held while it is handled.
    bool deliverOne() {
        while (!events_.empty()) {
            auto [receiver, event] = std::move(events_.front());
            events_.pop_front();
            if (!receiver)
                continue;
            Holding open(*this, false);
            QCoreApplication::sendEvent(receiver, event.get());
            return true;
        }
        return false;
    }

    int count() const { return static_cast<int>(events_.size()); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!holding_ || !isUserInput(receiver, event))
            return false;
        // Scrolling a list is no edit: the list follows it at once.
        switch (scroll_.route(receiver, event)) {
        case ScrollThrough::Way::Deliver:
            return false;
        case ScrollThrough::Way::Done:
            return true;
        case ScrollThrough::Way::Hold:
            break;
        }
        events_.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
        return true;
    }

private:
    void install() {
        if (installed_ || !QCoreApplication::instance())
            return;
        QCoreApplication::instance()->installEventFilter(this);
        installed_ = true;
    }

    // Once the engine waits no more, the kept input goes to its windows in
    // its order, ahead of anything the user does from then on.
    void release() {
        if (depth_ > 0)
            return; // a later end of a wait releases it
        while (!events_.empty()) {
            auto [receiver, event] = std::move(events_.front());
            events_.pop_front();
            if (receiver)
                QCoreApplication::postEvent(receiver, event.release());
        }
    }

    std::deque<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> events_;
    ScrollThrough scroll_;
    bool holding_ = false;
    bool installed_ = false;
    int depth_ = 0;
};

QtEventPump::QtEventPump() : held_(std::make_unique<HeldInput>()) {}

QtEventPump::~QtEventPump() = default;

int QtEventPump::heldEvents() const {
    return held_->count();
}

void QtEventPump::runBlocking(const std::function<void()>& call) {
    if (!onGuiThread()) {
        call();
        return;
    }
    PacedDisplay::showKept(); // the window may paint and take input in the wait
    HeldInput::Holding holding(*held_, true);
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // The worker posts the quit; until it runs, paint and timer events are
    // served here. The loop also checks the flag now and then, in case the
    // quit was consumed by an inner loop.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(50);
    while (!done) {
        // A loop cannot run once the application is leaving its event loop:
        // exec then returns at once, and the worker is joined instead of
        // spinning here until it ends.
        if (loop.exec(QEventLoop::AllEvents) < 0)
            break;
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

void QtEventPump::runAlongside(const std::function<void(const Signal&)>& call,
                               const std::function<bool()>& step) {
    if (!onGuiThread()) {
        WorkerAlongside::run(call, step);
        return;
    }
    HeldInput::Holding holding(*held_, true);
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::atomic<bool> signalled{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            call([&] {
                if (!signalled.exchange(true))
                    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            });
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // A quit posted while the loop was not running is lost; the look-out
    // timer then ends the wait within a few milliseconds.
    QTimer lookOut;
    QObject::connect(&lookOut, &QTimer::timeout, &loop, [&] {
        if (done || signalled)
            loop.quit();
    });
    lookOut.start(5);
    std::exception_ptr stepFailure;
    bool stepping = true;
    for (;;) {
        const bool finished = done;
        signalled = false;
        bool more = false;
        if (stepping) {
            const auto until = std::chrono::steady_clock::now() + kStepSlice;
            // The boxes show the slice's last row when it ends, at most every PacedDisplay::kPace.
            PacedDisplay::Burst burst;
            try {
                do
                    more = step();
                while (more && std::chrono::steady_clock::now() < until);
            } catch (...) {
                // The worker is still to be waited for; the failure goes on after.
                stepFailure = std::current_exception();
                stepping = false;
                more = false;
            }
        }
        if (finished && !more)
            break;
        if (more)
            // Between two slices the window handles what is pending.
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        else if (!done && !signalled && loop.exec(QEventLoop::AllEvents) < 0) {
            // The application is leaving its event loop, so no loop runs
            // here any more: the call is waited for, then the rest is done.
            worker.join();
            try {
                while (stepping && step()) {
                }
            } catch (...) {
                stepFailure = std::current_exception();
            }
            break;
        }
    }
    if (worker.joinable())
        worker.join();
    // The last slices' texts, kept back by the pace of the boxes.
    PacedDisplay::showKept();
    if (stepFailure)
        std::rethrow_exception(stepFailure);
    if (failure)
        std::rethrow_exception(failure);
}

void QtEventPump::sleepFor(std::chrono::milliseconds duration) {
    if (!onGuiThread()) {
        std::this_thread::sleep_for(duration);
        return;
    }
    // A stop request ends the pause at once; after it, pauses take no time.
    if (stopRequested())
        return;
    PacedDisplay::showKept();
    HeldInput::Holding holding(*held_, true);
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    std::unique_ptr<QSocketNotifier> stop;
    if (stopSignal().wakeFd() >= 0) {
        stop = std::make_unique<QSocketNotifier>(stopSignal().wakeFd(), QSocketNotifier::Read);
        QObject::connect(stop.get(), &QSocketNotifier::activated, &loop, [&] {
            stop->setEnabled(false); // the descriptor stays readable
            loop.quit();
        });
    }
    loop.exec(QEventLoop::AllEvents);
}

void QtEventPump::dispatchOne() {
    if (!onGuiThread())
        return;
    PacedDisplay::showKept();
    HeldInput::Holding holding(*held_, true);
    // Input still queued joins what was kept during the waits; everything
    // else that is pending is handled as in a wait.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 0);
    held_->deliverOne();
}

} // namespace vantrel
