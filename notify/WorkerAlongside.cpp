#include "notify/WorkerAlongside.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace vantrel {

void WorkerAlongside::run(const std::function<void(const EventPump::Signal&)>& call,
                          const std::function<bool()>& step) {
    std::mutex mutex;
    std::condition_variable wake;
    bool signalled = false;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            call([&] {
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    signalled = true;
                }
                wake.notify_one();
            });
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        wake.notify_one();
    });
    std::exception_ptr stepFailure;
    for (bool stepping = true;;) {
        bool finished = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait_for(lock, std::chrono::milliseconds(100), [&] { return signalled || done; });
            signalled = false;
            finished = done;
        }
        // Whatever `call` handed over before it ended is seen by this round.
        try {
            while (stepping && step()) {
            }
        } catch (...) {
            // The worker is still to be waited for; the failure goes on after.
            stepFailure = std::current_exception();
            stepping = false;
        }
        if (finished)
            break;
    }
    worker.join();
    if (stepFailure)
        std::rethrow_exception(stepFailure);
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace vantrel
