#pragma once

#include "notify/AlertChannel.h"
#include "notify/AlertChannels.h"
#include "notify/ChannelDelivery.h"
#include "notify/ChannelOutbox.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

class HttpClient;

// The configured channels, each with its sender thread, and the outbox they
// share. Alerts left in the outbox by an earlier run go out again once
// their channel is configured.
class ChannelHub : public AlertChannels {
public:
    using HttpFactory = std::function<std::unique_ptr<HttpClient>()>;

    // The bounds of a channel's request: connecting, and the whole request.
    static constexpr std::chrono::seconds kConnectTimeout{10};
    static constexpr std::chrono::seconds kTotalTimeout{30};

    // `http` empty: libcurl with the bounds above.
    explicit ChannelHub(std::string outboxPath = ChannelOutbox::kFileName,
                        DeliveryListener* listener = nullptr, HttpFactory http = {}, RetryPolicy policy = {});
    ~ChannelHub() override;

    // Reads the outbox left by an earlier run; false (with `error`) when it
    // cannot be read, and it is then never written over.
    bool loadOutbox(std::string* error = nullptr) { return outbox_.load(error); }
    // Replaces the channels; senders of channels that stay are kept.
    void configure(std::vector<AlertChannel> channels);
    std::vector<AlertChannel> channels() const;

    void send(const AlertMessage& message, const std::vector<int>& only) override;
    ChannelOutbox& outbox() { return outbox_; }

    // libcurl with the bounds of a channel's request.
    static std::unique_ptr<HttpClient> defaultHttp();

private:
    ChannelOutbox outbox_;
    DeliveryListener* listener_;
    HttpFactory http_;
    RetryPolicy policy_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<ChannelDelivery>> deliveries_;
};

} // namespace vantrel
