// The cost of the alert channels, measured over loopback in one run:
//   - the time a check pass spends handing one alert to seven channels
//     (ChannelHub::send: an outbox entry per channel, saved atomically, and
//     a wake-up), beside one page fetch from the same loopback server;
//   - the alerts a second one channel delivers (outbox, request, answer,
//     removal), beside the same requests sent back to back without outbox.
#include "notify/ChannelHub.h"
#include "notify/ChannelRequest.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using Steady = std::chrono::steady_clock;

namespace {

double ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class Counter : public DeliveryListener {
public:
    std::atomic<int> count{0};
    void delivered(const DeliveryReport& r) override {
        if (r.ok)
            ++count;
    }
};

AlertMessage message() {
    AlertMessage m;
    m.title = "Shop";
    m.url = "http://shop.example/";
    m.state = "down";
    m.reason = "HTTP 503";
    m.time = "10 Dec 2026 07:58:22";
    m.page = std::string(300, 'x');
    return m;
}

} // namespace

int main() {
    TempDir dir;
    HttpTestServer server(true);
    server.setRecording(false);
    server.route("/hook", HttpTestServer::ok("{}"));
    server.route("/page", HttpTestServer::ok("<html>Welcome</html>"));
    const AlertMessage m = message();

    // A page fetch: the anchor of what a pass already spends per site.
    CurlHttpClient http;
    HttpRequest page;
    page.url = server.url("/page");
    std::vector<double> fetches;
    for (int i = 0; i < 200; ++i) {
        const auto start = Steady::now();
        http.perform(page);
        fetches.push_back(ms(Steady::now() - start));
    }

    // Handing one alert to seven channels. The senders are slowed to
    // nothing by a server that never answers, so the outbox only grows
    // and each hand-over is timed alone.
    std::vector<double> queuing;
    {
        HttpTestServer stalled(true);
        stalled.route("/hook", HttpTestServer::silent());
        ChannelHub hub(ChannelOutbox::kFileName);
        std::vector<AlertChannel> channels;
        for (int n = 1; n <= 7; ++n)
            channels.push_back(
                *AlertChannel::parse(n, "webhook " + stalled.url("/hook?c=" + std::to_string(n))));
        hub.configure(channels);
        for (int i = 0; i < 50; ++i) {
            const auto start = Steady::now();
            hub.send(m, {});
            queuing.push_back(ms(Steady::now() - start));
        }
        stalled.stop();
    }
    std::remove(ChannelOutbox::kFileName);

    // Throughput of one channel against the same requests sent directly.
    constexpr int kAlerts = 300;
    AlertChannel channel = *AlertChannel::parse(1, "webhook " + server.url("/hook"));
    const HttpRequest request = *ChannelRequest::build(channel, m, "x");
    auto start = Steady::now();
    for (int i = 0; i < kAlerts; ++i)
        http.perform(request);
    const double direct = kAlerts / (ms(Steady::now() - start) / 1000);

    Counter counter;
    double delivered = 0;
    {
        ChannelHub hub(ChannelOutbox::kFileName, &counter);
        hub.configure({channel});
        start = Steady::now();
        for (int i = 0; i < kAlerts; ++i)
            hub.send(m, {});
        const auto bound = Steady::now() + std::chrono::seconds(120);
        while (counter.count < kAlerts && Steady::now() < bound)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        delivered = counter.count / (ms(Steady::now() - start) / 1000);
    }

    std::printf("page fetch over loopback (anchor):      median %.3f ms\n", median(fetches));
    std::printf("one alert handed to 7 channels:         median %.3f ms  = %.2f x a page fetch\n",
                median(queuing), median(queuing) / median(fetches));
    std::printf("requests sent back to back (anchor):    %.0f /s\n", direct);
    std::printf("alerts delivered by one channel:        %.0f /s  = %.2f x back to back (%d of %d)\n",
                delivered, delivered / direct, counter.count.load(), kAlerts);
    return counter.count == kAlerts ? 0 : 1;
}
