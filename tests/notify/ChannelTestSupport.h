#pragma once

// What the alert channel tests share: a message with hostile values, a
// listener that waits for delivery reports, quick retries and requests, and
// a fixture with a loopback service and a hub of channels.

#include "notify/ChannelHub.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

// Values that would break a JSON string or a header if they were pasted in.
inline AlertMessage hostileMessage() {
    AlertMessage m;
    m.title = "Shop \"A\"\r\nX-Injected: 1";
    m.url = "http://shop.example/?a=\"}],\"b\":{\"";
    m.state = "down";
    m.reason = "HTTP 503\\ with \x01 control \xff bytes";
    m.time = "10 Dec 2026 07:58:22";
    m.downSince = m.time;
    m.page = "<html>{title}</html>";
    return m;
}

// Collects the delivery reports and waits for them, boundedly.
class Reports : public DeliveryListener {
public:
    void delivered(const DeliveryReport& report) override {
        std::lock_guard lock(mutex_);
        reports_.push_back(report);
        changed_.notify_all();
    }
    // Waits until `n` reports came (at most 20 s) and returns them all.
    std::vector<DeliveryReport> waitFor(size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [&] { return reports_.size() >= n; });
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DeliveryReport> reports_;
};

inline RetryPolicy quickRetries() {
    RetryPolicy p;
    p.first = std::chrono::milliseconds(50);
    p.longest = std::chrono::milliseconds(200);
    p.maxTries = 3;
    return p;
}

inline ChannelHub::HttpFactory quickHttp() {
    return [] {
        return std::make_unique<CurlHttpClient>(std::chrono::seconds(2), std::chrono::seconds(1), 65536,
                                                std::chrono::seconds(2));
    };
}

inline AlertChannel channel(int number, const std::string& value, const std::string& secret = {}) {
    std::optional<AlertChannel> c = AlertChannel::parse(number, value);
    EXPECT_TRUE(c) << value;
    c->secret = secret;
    return *c;
}

inline std::string headerOf(const std::string& request, const std::string& name) {
    const size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "<none>";
    const size_t start = at + name.size() + 4;
    return request.substr(start, request.find("\r\n", start) - start);
}

inline std::string bodyOf(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}

class ChannelDeliveryTest : public ::testing::Test {
protected:
    TempDir dir;
    HttpTestServer server{true};
    Reports reports;

    std::unique_ptr<ChannelHub> hub(std::vector<AlertChannel> channels) {
        auto h =
            std::make_unique<ChannelHub>(ChannelOutbox::kFileName, &reports, quickHttp(), quickRetries());
        h->loadOutbox();
        h->configure(std::move(channels));
        return h;
    }
};

} // namespace vantrel::test
