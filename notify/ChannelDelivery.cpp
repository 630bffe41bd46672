#include "notify/ChannelDelivery.h"

#include "notify/ChannelRequest.h"
#include "platform/HttpClient.h"

#include <algorithm>

namespace vantrel {

std::chrono::milliseconds RetryPolicy::delayAfter(int tries) const {
    std::chrono::milliseconds delay = first;
    for (int i = 1; i < tries && delay < longest; ++i)
        delay *= 2;
    return std::min(delay, longest);
}

ChannelDelivery::ChannelDelivery(AlertChannel channel, std::unique_ptr<HttpClient> http,
                                 ChannelOutbox& outbox, DeliveryListener* listener, RetryPolicy policy)
    : channel_(std::move(channel)), key_(channel_.value()), http_(std::move(http)), outbox_(outbox),
      listener_(listener), policy_(policy) {
    thread_ = std::thread([this] { run(); });
}

ChannelDelivery::~ChannelDelivery() {
    stop();
}

void ChannelDelivery::requestStop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

void ChannelDelivery::stop() {
    requestStop();
    if (thread_.joinable())
        thread_.join();
}

OutboxEntry ChannelDelivery::entryFor(const AlertMessage& message) const {
    OutboxEntry entry;
    entry.channel = key_;
    entry.message = message;
    entry.queued = std::chrono::system_clock::now();
    entry.due = entry.queued;
    return entry;
}

void ChannelDelivery::enqueue(const AlertMessage& message) {
    outbox_.add(entryFor(message));
    wake();
}

void ChannelDelivery::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void ChannelDelivery::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        woken_ = false;
        const std::optional<OutboxEntry> next = outbox_.first(key_);
        const auto now = std::chrono::system_clock::now();
        if (!next) {
            wake_.wait(lock, [this] { return woken_ || stopping_; });
            continue;
        }
        if (next->due > now) {
            // Woken early by a new alert, a stop or the time: look again.
            wake_.wait_until(lock, next->due, [this] { return woken_ || stopping_.load(); });
            continue;
        }
        lock.unlock();
        sendOne(*next);
        lock.lock();
    }
}

void ChannelDelivery::sendOne(OutboxEntry entry) {
    DeliveryReport report;
    report.channel = key_;
    report.site = entry.message.title.empty() ? entry.message.url : entry.message.title;
    report.url = entry.message.url;
    const auto now = std::chrono::system_clock::now();

    std::optional<HttpRequest> request = ChannelRequest::build(channel_, entry.message, entry.id);
    HttpResponse response;
    bool retry = false;
    if (!request) {
        report.detail = "the channel's template gives no valid JSON";
    } else if (now - entry.queued > policy_.maxAge) {
        report.detail = "older than the retry time: " + entry.lastError;
    } else {
        request->cancel = &stopping_;
        response = http_->perform(*request);
        // Stopped mid-send: the alert stays for the next start.
        if (stopping_)
            return;
        ++entry.tries;
        report.ok = ChannelRequest::delivered(response);
        report.detail = ChannelRequest::describe(response);
        retry = !report.ok && ChannelRequest::worthRetrying(response);
    }
    report.tries = entry.tries;
    const auto later = std::chrono::system_clock::now() + policy_.delayAfter(entry.tries);
    if (retry && entry.tries < policy_.maxTries && later - entry.queued <= policy_.maxAge) {
        entry.due = std::chrono::time_point_cast<OutboxEntry::Time::duration>(later);
        entry.lastError = report.detail;
        outbox_.update(entry);
    } else {
        report.givenUp = !report.ok;
        outbox_.remove(entry.id);
    }
    if (listener_)
        listener_->delivered(report);
}

} // namespace vantrel
