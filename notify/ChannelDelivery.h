#pragma once

#include "notify/AlertChannel.h"
#include "notify/ChannelOutbox.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vantrel {

class HttpClient;

// How often and for how long a failed send is tried again: after `first`,
// then twice as long each time up to `longest`, for at most `maxTries`
// sends, and never once the alert is older than `maxAge`.
struct RetryPolicy {
    std::chrono::milliseconds first = std::chrono::seconds(30);
    std::chrono::milliseconds longest = std::chrono::hours(1);
    int maxTries = 8;
    std::chrono::milliseconds maxAge = std::chrono::hours(24);

    // The pause after the `tries`-th failed send.
    std::chrono::milliseconds delayAfter(int tries) const;
};

// The end of one send to a channel, told from the channel's own thread.
struct DeliveryReport {
    std::string channel; // "ntfy https://ntfy.sh/x"
    std::string site;    // the site's title, or its URL
    std::string url;     // the site's URL
    bool ok = false;
    bool givenUp = false; // no further try will be made
    int tries = 0;
    std::string detail; // the service's answer, or why it failed
};

class DeliveryListener {
public:
    virtual ~DeliveryListener() = default;
    // Called on the channel's thread; must not block for long.
    virtual void delivered(const DeliveryReport& report) = 0;
};

// The sender of one channel, on a thread of its own: it takes the channel's
// alerts from the outbox as they fall due, sends each, and removes it once
// the service took it, or schedules the next try, or gives up after the
// policy's tries. A slow or dead service holds up only this thread, and
// every request is bounded (the HTTP client's connect and total time).
// Stopping cancels a request under way; its alert stays in the outbox.
class ChannelDelivery {
public:
    ChannelDelivery(AlertChannel channel, std::unique_ptr<HttpClient> http, ChannelOutbox& outbox,
                    DeliveryListener* listener, RetryPolicy policy = {});
    ~ChannelDelivery();
    ChannelDelivery(const ChannelDelivery&) = delete;
    ChannelDelivery& operator=(const ChannelDelivery&) = delete;

    const AlertChannel& channel() const { return channel_; }
    // Puts `message` into the outbox for this channel and wakes the thread.
    void enqueue(const AlertMessage& message);
    // The outbox entry of `message` for this channel, due now.
    OutboxEntry entryFor(const AlertMessage& message) const;
    // Something in the outbox changed: look again.
    void wake();
    // Ends the thread; a send under way is cancelled. Called by the destructor.
    void stop();
    // Tells the thread to end without waiting for it.
    void requestStop();

private:
    void run();
    void sendOne(OutboxEntry entry);

    AlertChannel channel_;
    std::string key_;
    std::unique_ptr<HttpClient> http_;
    ChannelOutbox& outbox_;
    DeliveryListener* listener_;
    RetryPolicy policy_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace vantrel
