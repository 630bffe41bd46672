#include "notify/ChannelRequest.h"
#include "tests/notify/ChannelTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// One kind of channel, set up so that the answer it meets is the one routed
// to `target` (a target ending in '*' is a prefix: Matrix puts the
// transaction id last).
struct Kind {
    std::string name;
    std::string value;  // the CHANNEL line's value
    std::string secret; // its token
    std::string target; // the request target its service would see
    int refusal;        // the 4xx its documentation gives for a wrong token, room or chat
};

std::vector<Kind> kinds(const HttpTestServer& server, const std::string& answer, int chat) {
    const std::string base = server.url("/" + answer);
    const std::string room = "!" + answer + ":example.org";
    return {
        {"ntfy", "ntfy " + base + "/alerts", "tk_x", "/" + answer + "/alerts", 403},
        {"gotify", "gotify " + base, "AppToken", "/" + answer + "/message", 401},
        {"matrix", "matrix " + server.url("/" + room), "syt_x",
         "/_matrix/client/v3/rooms/%21" + answer + "%3Aexample.org/send/m.room.message/*", 403},
        {"slack", "slack " + base + "/slack", "", "/" + answer + "/slack", 404},
        {"discord", "discord " + base + "/discord", "", "/" + answer + "/discord", 404},
        {"telegram", "telegram " + server.url("/-100" + std::to_string(chat)), "42:" + answer,
         "/bot42:" + answer + "/sendMessage", 400},
        {"webhook", "webhook " + base + "/hook", "", "/" + answer + "/hook", 410},
    };
}

// What the user is told after each try: delivered, or failed and tried
// again, or failed and given up.
struct Answer {
    std::string name;
    std::function<HttpTestServer::Response(const Kind&)> response;
    std::string detail; // how every try's report begins
    bool retried;
};

// Every kind meets every answer a service gives: success, its refusal (a
// 4xx its documentation calls final), a 5xx, a stall and a reset. The ones
// that may heal are tried again until the tries run out; none of them is
// ever reported as delivered, and nothing is left in the outbox.
TEST_F(ChannelDeliveryTest, EveryKindJudgesEveryAnswerAlike) {
    const std::vector<Answer> answers = {
        {"ok", [](const Kind&) { return HttpTestServer::ok("{\"ok\":true}"); }, "HTTP 200", false},
        {"refused",
         [](const Kind& k) {
             return HttpTestServer::status(k.refusal, "No", "{\"error\":\"no such " + k.name + "\"}");
         },
         "HTTP 4", false},
        {"busy", [](const Kind&) { return HttpTestServer::status(503, "Busy", "later"); }, "HTTP 503: later",
         true},
        {"stall", [](const Kind&) { return HttpTestServer::silent(); }, "no answer: timed out (12002)", true},
        {"reset", [](const Kind&) { return HttpTestServer::reset(); }, "no answer", true},
    };
    const int tries = quickRetries().maxTries;
    std::vector<AlertChannel> channels;
    std::map<std::string, std::pair<Kind, Answer>> expected; // by the channel's value
    size_t reportsDue = 0;
    for (const Answer& answer : answers) {
        for (const Kind& kind : kinds(server, answer.name, static_cast<int>(channels.size()))) {
            server.route(kind.target, answer.response(kind));
            channels.push_back(channel(static_cast<int>(channels.size()) + 1, kind.value, kind.secret));
            expected.emplace(channels.back().value(), std::pair{kind, answer});
            reportsDue += answer.retried ? tries : 1;
        }
    }
    auto h = hub(channels);
    h->send(hostileMessage(), {});
    const std::vector<DeliveryReport> got = reports.waitFor(reportsDue);
    ASSERT_EQ(got.size(), reportsDue);

    std::map<std::string, std::vector<DeliveryReport>> byChannel;
    for (const DeliveryReport& r : got)
        byChannel[r.channel].push_back(r);
    ASSERT_EQ(byChannel.size(), expected.size());
    for (const auto& [value, reports] : byChannel) {
        const auto& [kind, answer] = expected.at(value);
        SCOPED_TRACE(kind.name + " answered " + answer.name);
        ASSERT_EQ(reports.size(), answer.retried ? static_cast<size_t>(tries) : 1u);
        for (size_t i = 0; i < reports.size(); ++i) {
            const DeliveryReport& r = reports[i];
            EXPECT_EQ(r.tries, static_cast<int>(i) + 1);
            EXPECT_EQ(r.ok, answer.name == "ok");
            // Given up after the last try, or at once when the answer is final.
            EXPECT_EQ(r.givenUp, answer.name != "ok" && i + 1 == reports.size());
            EXPECT_TRUE(r.detail.starts_with(answer.detail)) << r.detail;
        }
        if (answer.name == "refused") {
            EXPECT_EQ(reports[0].detail,
                      "HTTP " + std::to_string(kind.refusal) + ": {\"error\":\"no such " + kind.name + "\"}");
        }
    }
    EXPECT_TRUE(h->outbox().entries().empty());
}

// The schedule the manual gives: 30 s, then twice as long each time up to
// an hour, 8 sends at most, none once the alert is a day old.
TEST(RetryPolicy, DoublesUpToAnHour) {
    using std::chrono::seconds;
    const RetryPolicy p;
    std::vector<std::chrono::milliseconds> delays;
    for (int tries = 1; tries < p.maxTries; ++tries)
        delays.push_back(p.delayAfter(tries));
    EXPECT_EQ(delays,
              (std::vector<std::chrono::milliseconds>{seconds(30), seconds(60), seconds(120), seconds(240),
                                                      seconds(480), seconds(960), seconds(1920)}));
    EXPECT_EQ(p.delayAfter(50), std::chrono::hours(1));
    EXPECT_EQ(p.maxTries, 8);
    EXPECT_EQ(p.maxAge, std::chrono::hours(24));
}

} // namespace
