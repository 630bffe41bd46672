#include "notify/ChannelHub.h"

#include "platform/CurlHttpClient.h"

#include <algorithm>

namespace vantrel {

ChannelHub::ChannelHub(std::string outboxPath, DeliveryListener* listener, HttpFactory http,
                       RetryPolicy policy)
    : outbox_(std::move(outboxPath)), listener_(listener),
      http_(http ? std::move(http) : HttpFactory(defaultHttp)), policy_(policy) {}

ChannelHub::~ChannelHub() {
    std::lock_guard lock(mutex_);
    // Every thread is told first, then each is waited for, so the stops
    // do not add up.
    for (auto& d : deliveries_)
        d->requestStop();
    deliveries_.clear();
}

std::unique_ptr<HttpClient> ChannelHub::defaultHttp() {
    // An answer to an alert is short: 64 KiB of it is kept.
    return std::make_unique<CurlHttpClient>(kConnectTimeout, kTotalTimeout, 64 * 1024, kTotalTimeout);
}

void ChannelHub::configure(std::vector<AlertChannel> channels) {
    std::lock_guard lock(mutex_);
    std::vector<std::unique_ptr<ChannelDelivery>> kept;
    for (AlertChannel& c : channels) {
        // Two numbers for the same channel would send each alert twice.
        if (std::any_of(kept.begin(), kept.end(),
                        [&](const auto& d) { return d->channel().value() == c.value(); }))
            continue;
        auto same = std::find_if(deliveries_.begin(), deliveries_.end(),
                                 [&](const auto& d) { return d && d->channel() == c; });
        if (same != deliveries_.end())
            kept.push_back(std::move(*same));
        else
            kept.push_back(
                std::make_unique<ChannelDelivery>(std::move(c), http_(), outbox_, listener_, policy_));
    }
    deliveries_ = std::move(kept); // the senders of channels gone stop here
}

std::vector<AlertChannel> ChannelHub::channels() const {
    std::lock_guard lock(mutex_);
    std::vector<AlertChannel> out;
    for (const auto& d : deliveries_)
        out.push_back(d->channel());
    return out;
}

void ChannelHub::send(const AlertMessage& message, const std::vector<int>& only) {
    std::lock_guard lock(mutex_);
    // One save of the outbox for all the channels, then each is woken.
    std::vector<OutboxEntry> entries;
    std::vector<ChannelDelivery*> woken;
    for (const auto& d : deliveries_) {
        const int number = d->channel().number;
        if (only.empty() || std::find(only.begin(), only.end(), number) != only.end()) {
            entries.push_back(d->entryFor(message));
            woken.push_back(d.get());
        }
    }
    if (entries.empty())
        return;
    outbox_.add(std::move(entries));
    for (ChannelDelivery* d : woken)
        d->wake();
}

} // namespace vantrel
