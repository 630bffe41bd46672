#include "notify/AlertTemplate.h"
#include "notify/ChannelRequest.h"
#include "tests/notify/ChannelTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace vantrel;
using nlohmann::json;
using namespace vantrel::test;

namespace {

TEST(AlertTemplate, EscapesEveryValueAndRefusesTemplatesThatBreak) {
    EXPECT_EQ(AlertTemplate::jsonEscape("a\"b\\c\n\t\x01\x7f"), "a\\\"b\\\\c\\n\\t\\u0001\\u007f");
    EXPECT_EQ(AlertTemplate::jsonEscape("caf\xc3\xa9 \xff\xc0\x80"),
              "caf\xc3\xa9 \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(AlertTemplate::headerValue(" a\r\nB: c\x7f "), "a  B: c");
    EXPECT_EQ(AlertTemplate::headerValue(std::string(1000, 'x')).size(), AlertTemplate::kMaxHeaderValue);

    // The values come back as they were, and no member was added.
    const AlertMessage m = hostileMessage();
    const std::optional<std::string> body = AlertTemplate(AlertTemplate::kDefaultJson).expandJson(m);
    ASSERT_TRUE(body);
    const json doc = json::parse(*body);
    EXPECT_EQ(doc["title"], m.title);
    EXPECT_EQ(doc["url"], m.url);
    EXPECT_EQ(doc.size(), 9u);

    EXPECT_FALSE(AlertTemplate(AlertTemplate::kDefaultJson).jsonProblem());
    EXPECT_FALSE(AlertTemplate(R"({"text":"{headline}: {reason}","n":1,"list":["{url}"]})").jsonProblem());
    // A placeholder outside a string, broken JSON, a missing quote.
    for (const char* bad : {R"({"a":{title}})", R"({"a":1{title}})", R"({"a":"x")", R"({"a":"{title})",
                            R"(["{title}",{state}])", "", "{title}"})
        EXPECT_TRUE(AlertTemplate(bad).jsonProblem()) << bad;
    // Unknown names and JSON's own braces stay as they are.
    EXPECT_EQ(AlertTemplate(R"({"a":"{nope} {url}"})").expand(m, AlertTemplate::Escape::None),
              R"({"a":"{nope} )" + m.url + "\"}");
}

TEST(AlertChannel, ParsesKindAndEndpoint) {
    std::string error;
    const std::optional<AlertChannel> c = AlertChannel::parse(3, "ntfy  https://ntfy.sh/alerts ", &error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->value(), "ntfy https://ntfy.sh/alerts");
    EXPECT_EQ(c->secretKey(), "channel:ntfy:https://ntfy.sh/alerts");
    for (const char* bad : {"pager http://x", "ntfy", "ntfy ftp://x", "matrix https://m.org/room",
                            "webhook http://a b", "telegram"}) {
        EXPECT_FALSE(AlertChannel::parse(1, bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

// Every kind sends the request its service documents: method, path,
// headers and JSON, with the hostile values neither breaking the JSON nor
// reaching a header line of their own.
TEST_F(ChannelDeliveryTest, EachKindSendsTheDocumentedRequest) {
    for (const char* target : {"/ntfy/alerts", "/gotify/message", "/hooks/slack", "/api/webhooks/1/abc",
                               "/bot123:AB-c/sendMessage", "/hook"})
        server.route(target, HttpTestServer::ok("{\"ok\":true}"));
    const std::string matrixTarget = "/_matrix/client/v3/rooms/%21room%3Amatrix.org/send/m.room.message/";
    const std::string base = server.url("");
    auto h = hub({channel(1, "ntfy " + base + "/ntfy/alerts", "tk_secret"),
                  channel(2, "gotify " + base + "/gotify/", "AppToken"),
                  channel(3, "matrix " + base + "/!room:matrix.org", "syt_access"),
                  channel(4, "slack team-alerts", base + "/hooks/slack"),
                  channel(5, "discord " + base + "/api/webhooks/1/abc"),
                  channel(6, "telegram " + base + "/-100123", "123:AB-c"),
                  channel(7, "webhook " + base + "/hook")});
    const AlertMessage m = hostileMessage();
    h->send(m, {});
    // The Matrix request's path ends in its transaction id, which no route
    // knows: its 404 is its report.
    const std::vector<DeliveryReport> got = reports.waitFor(7);
    ASSERT_EQ(got.size(), 7u);

    std::map<std::string, std::string> byPath;
    for (const std::string& r : server.requests()) {
        const size_t sp = r.find(' ');
        byPath[r.substr(sp + 1, r.find(' ', sp + 1) - sp - 1)] = r;
        EXPECT_EQ(r.find("\r\nX-Injected"), std::string::npos) << r;
        EXPECT_EQ(headerOf(r, "User-Agent"), "Vantrel 1.0");
    }
    const std::string ntfy = byPath["/ntfy/alerts"];
    EXPECT_TRUE(ntfy.starts_with("POST "));
    EXPECT_EQ(headerOf(ntfy, "Title"), "Vantrel: Shop \"A\"  X-Injected: 1 is down");
    EXPECT_EQ(headerOf(ntfy, "Priority"), "high");
    EXPECT_EQ(headerOf(ntfy, "Tags"), "rotating_light");
    EXPECT_EQ(headerOf(ntfy, "Authorization"), "Bearer tk_secret");
    EXPECT_EQ(bodyOf(ntfy), m.text());

    const std::string gotify = byPath["/gotify/message"];
    EXPECT_EQ(headerOf(gotify, "X-Gotify-Key"), "AppToken");
    const json g = json::parse(bodyOf(gotify));
    EXPECT_EQ(g["title"], m.headline());
    EXPECT_EQ(g["priority"], 8);

    std::string matrix;
    for (const auto& [path, r] : byPath)
        if (path.starts_with(matrixTarget))
            matrix = r;
    ASSERT_FALSE(matrix.empty());
    EXPECT_TRUE(matrix.starts_with("PUT "));
    EXPECT_EQ(headerOf(matrix, "Authorization"), "Bearer syt_access");
    EXPECT_EQ(json::parse(bodyOf(matrix)), (json{{"msgtype", "m.text"}, {"body", m.text()}}));

    EXPECT_EQ(json::parse(bodyOf(byPath["/hooks/slack"])), (json{{"text", m.text()}}));
    EXPECT_EQ(headerOf(byPath["/hooks/slack"], "Content-Type"), "application/json");
    EXPECT_EQ(json::parse(bodyOf(byPath["/api/webhooks/1/abc"])), (json{{"content", m.text()}}));
    EXPECT_EQ(json::parse(bodyOf(byPath["/bot123:AB-c/sendMessage"])),
              (json{{"chat_id", "-100123"}, {"text", m.text()}}));
    const json hook = json::parse(bodyOf(byPath["/hook"]));
    EXPECT_EQ(hook["title"], m.title);
    EXPECT_EQ(hook["reason"], "HTTP 503\\ with \x01 control \xEF\xBF\xBD bytes");
}

// A 5xx and a reset are tried again until the service takes the alert; a
// 4xx other than 408 and 429 is given up at once; every try is told.
TEST_F(ChannelDeliveryTest, RetriesWhatMayHealAndGivesUpTheRest) {
    server.routeInTurn("/flaky", {HttpTestServer::status(503, "Busy", "later"), HttpTestServer::reset(),
                                  HttpTestServer::ok("taken")});
    server.route("/gone", HttpTestServer::status(401, "Unauthorized", "{\"error\":\"bad token\"}"));
    auto h =
        hub({channel(1, "webhook " + server.url("/flaky")), channel(2, "webhook " + server.url("/gone"))});
    h->send(hostileMessage(), {});
    std::vector<DeliveryReport> got = reports.waitFor(4);
    ASSERT_EQ(got.size(), 4u);
    std::vector<DeliveryReport> flaky, gone;
    for (const DeliveryReport& r : got)
        (r.channel.ends_with("/flaky") ? flaky : gone).push_back(r);
    ASSERT_EQ(flaky.size(), 3u);
    EXPECT_EQ(flaky[0].detail, "HTTP 503: later");
    EXPECT_FALSE(flaky[0].givenUp);
    EXPECT_TRUE(flaky[1].detail.starts_with("no answer")) << flaky[1].detail;
    EXPECT_TRUE(flaky[2].ok);
    EXPECT_EQ(flaky[2].tries, 3);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_TRUE(gone[0].givenUp);
    EXPECT_EQ(gone[0].detail, "HTTP 401: {\"error\":\"bad token\"}");
    EXPECT_TRUE(h->outbox().entries().empty());
}

// A service that never answers holds up only its own channel, for the
// request's bound; then the policy's tries run out and it is given up.
TEST_F(ChannelDeliveryTest, AStalledServiceDelaysNoOtherChannel) {
    server.route("/stall", HttpTestServer::silent());
    server.route("/fine", HttpTestServer::ok("ok"));
    auto h =
        hub({channel(1, "webhook " + server.url("/stall")), channel(2, "webhook " + server.url("/fine"))});
    const auto start = std::chrono::steady_clock::now();
    h->send(hostileMessage(), {});
    std::vector<DeliveryReport> got = reports.waitFor(1);
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(got[0].ok);
    EXPECT_TRUE(got[0].channel.ends_with("/fine"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    got = reports.waitFor(4);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_TRUE(got[3].givenUp);
    EXPECT_EQ(got[3].tries, 3);
}

// Alerts not delivered when the program ends go out at the next start, with
// the same transaction id; routing limits a site to its channels.
TEST_F(ChannelDeliveryTest, TheOutboxSurvivesARestart) {
    server.route("/down", HttpTestServer::status(502, "Bad Gateway", ""));
    RetryPolicy slow = quickRetries();
    slow.first = std::chrono::hours(1);
    std::string id;
    {
        ChannelHub first(ChannelOutbox::kFileName, &reports, quickHttp(), slow);
        first.configure(
            {channel(1, "webhook " + server.url("/down")), channel(2, "webhook " + server.url("/x"))});
        first.send(hostileMessage(), {1});
        ASSERT_EQ(reports.waitFor(1).size(), 1u);
        ASSERT_EQ(first.outbox().entries().size(), 1u);
        id = first.outbox().entries()[0].id;
    }
    ASSERT_TRUE(TempDir::exists(ChannelOutbox::kFileName));
    const std::optional<std::vector<OutboxEntry>> kept =
        ChannelOutbox::fromJson(TempDir::readFile(ChannelOutbox::kFileName));
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->size(), 1u);
    EXPECT_EQ((*kept)[0].message.title, hostileMessage().title);
    EXPECT_EQ((*kept)[0].message.url, hostileMessage().url);
    EXPECT_EQ((*kept)[0].tries, 1);
    EXPECT_EQ((*kept)[0].lastError, "HTTP 502");

    // The next run: the entry is due in an hour; make it due now, as the
    // time having passed would.
    ChannelOutbox outbox;
    ASSERT_TRUE(outbox.load());
    OutboxEntry entry = outbox.entries()[0];
    entry.due = std::chrono::time_point_cast<OutboxEntry::Time::duration>(std::chrono::system_clock::now());
    outbox.update(entry);
    outbox.flush();
    server.route("/down", HttpTestServer::ok("ok"));
    auto second = hub({channel(1, "webhook " + server.url("/down"))});
    const std::vector<DeliveryReport> got = reports.waitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[1].ok);
    EXPECT_EQ(got[1].tries, 2);
    EXPECT_TRUE(second->outbox().entries().empty());
    // Channel 2 never got the alert: the site was limited to channel 1.
    for (const std::string& r : server.requests())
        EXPECT_FALSE(r.starts_with("POST /x ")) << r;
}

TEST(ChannelOutbox, AFileThatIsNoOutboxIsLeftAlone) {
    TempDir dir;
    TempDir::writeFile(ChannelOutbox::kFileName, "not json");
    ChannelOutbox outbox;
    std::string error;
    EXPECT_FALSE(outbox.load(&error));
    EXPECT_FALSE(error.empty());
    OutboxEntry entry;
    entry.channel = "webhook http://x";
    entry.message = hostileMessage();
    outbox.add(entry);
    EXPECT_EQ(TempDir::readFile(ChannelOutbox::kFileName), "not json");
}

} // namespace
