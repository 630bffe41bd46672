#include "app/QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

namespace vantrel {

namespace {

bool onGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

void QtEventPump::runBlocking(const std::function<void()>& call) {
    if (!onGuiThread()) {
        call();
        return;
    }
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
        if (loop.exec(QEventLoop::ExcludeUserInputEvents) < 0)
            break;
    }
    worker.join();
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
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void QtEventPump::dispatchOne() {
    if (onGuiThread())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 0);
}

} // namespace vantrel
