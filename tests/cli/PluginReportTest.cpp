#include "cli/PluginReport.h"
#include "cli/CheckCommand.h"
#include "model/SiteEntry.h"
#include "monitor/CheckEvaluator.h"
#include "monitor/CheckRules.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/HttpTestServer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <regex>
#include <sstream>

using namespace vantrel;

namespace {

// The output of a monitoring plugin as a plugin host reads it, held to the
// letter of the development guidelines: "SERVICE STATE - text" and, after a
// "|", space-separated 'label'=value[UOM];[warn];[crit];[min];[max], where
// warn and crit are ranges "[@]start:end" (start 0 and ":" left out, "~"
// for minus infinity). A value outside a range raises that state.
struct Range {
    double start = 0, end = INFINITY;
    bool inside = false; // "@": alert inside the range
    bool alerts(double v) const {
        const bool in = v >= start && v <= end;
        return inside ? in : !in;
    }
};

std::optional<Range> parseRange(const std::string& text) {
    static const std::regex grammar(R"(^(@)?(?:(~|-?[0-9]+(?:\.[0-9]+)?):)?(-?[0-9]+(?:\.[0-9]+)?)?$)");
    std::smatch m;
    if (text.empty() || !std::regex_match(text, m, grammar))
        return std::nullopt;
    Range r;
    r.inside = m[1].matched;
    if (m[2].matched)
        r.start = m[2] == "~" ? -INFINITY : std::stod(m[2]);
    if (m[3].matched)
        r.end = std::stod(m[3]);
    else if (!m[2].matched)
        return std::nullopt; // "@" alone
    return r.start <= r.end ? std::optional<Range>(r) : std::nullopt;
}

struct Perf {
    std::string label, unit;
    double value = 0;
    std::optional<Range> warn, crit;
    std::optional<double> min, max;
};

struct PluginLine {
    std::string state, text;
    std::vector<Perf> perf;
};

// Parses strictly; nullopt for anything the grammar does not allow.
std::optional<PluginLine> parsePluginLine(const std::string& line) {
    static const std::regex head(R"(^VANTREL (OK|WARNING|CRITICAL|UNKNOWN) - ([^|\r\n]+?)(?: \| (.+))?$)");
    static const std::regex item(
        R"(^([^'= ]+)=(-?[0-9]+(?:\.[0-9]+)?)(s|ms|us|%|B|KB|MB|TB|c)?(?:;([^;]*)(?:;([^;]*)(?:;(-?[0-9.]*)(?:;(-?[0-9.]*))?)?)?)?$)");
    std::smatch m;
    if (!std::regex_match(line, m, head))
        return std::nullopt;
    PluginLine out{m[1], m[2], {}};
    if (m[3].matched) {
        std::istringstream words(m[3].str());
        std::string word;
        while (words >> word) {
            std::smatch p;
            if (!std::regex_match(word, p, item))
                return std::nullopt;
            Perf perf{p[1], p[3], std::stod(p[2]), {}, {}, {}, {}};
            for (int k : {4, 5}) {
                if (!p[k].matched || p[k].length() == 0)
                    continue;
                std::optional<Range> r = parseRange(p[k]);
                if (!r)
                    return std::nullopt;
                (k == 4 ? perf.warn : perf.crit) = r;
            }
            if (p[6].matched && p[6].length())
                perf.min = std::stod(p[6]);
            if (p[7].matched && p[7].length())
                perf.max = std::stod(p[7]);
            out.perf.push_back(perf);
        }
        if (m[3].str().find("  ") != std::string::npos || m[3].str().back() == ' ')
            return std::nullopt;
    }
    return out;
}

const Perf* perfNamed(const PluginLine& line, const std::string& label) {
    for (const Perf& p : line.perf)
        if (p.label == label)
            return &p;
    return nullptr;
}

HttpResponse fetched(double ms, int status = 200, std::string body = "hello world") {
    HttpResponse r;
    r.ok = true;
    r.statusCode = status;
    r.totalMs = ms;
    r.bytesReceived = static_cast<long long>(body.size());
    r.body = std::move(body);
    return r;
}

TEST(PluginReportTest, EveryLineKeepsTheGrammarAndTheHostReadsTheSameStateFromTheThresholds) {
    struct Case {
        HttpResponse response;
        std::string test, status;
        PluginReport::Thresholds limits;
        const char* expected;
    };
    HttpResponse refused;
    refused.errorNumber = CurlHttpClient::kErrCannotConnect;
    refused.totalMs = 0.4;
    HttpResponse badUrl;
    badUrl.errorNumber = CurlHttpClient::kErrInvalidUrl;
    const std::vector<Case> cases = {
        {fetched(123), "", "", {500, 1000}, "OK"},
        {fetched(500), "", "", {500, 1000}, "OK"}, // at the limit is inside the range
        {fetched(501), "", "", {500, 1000}, "WARNING"},
        {fetched(1000.4), "", "", {500, 1000}, "CRITICAL"},
        {fetched(2000), "", "", {0, 1000}, "CRITICAL"},
        {fetched(900), "", "", {0, 0}, "OK"},
        {fetched(5, 200, "a | b"), "missing|text\nhere", "", {}, "CRITICAL"},
        {fetched(5, 503), "", "200-299", {500, 1000}, "CRITICAL"},
        {refused, "", "", {500, 1000}, "CRITICAL"},
        {badUrl, "", "", {}, "UNKNOWN"},
        {fetched(5), "", "600-700", {}, "UNKNOWN"},
    };
    for (const Case& c : cases) {
        SiteEntry site;
        site.url = "http://127.0.0.1/";
        site.testString = c.test;
        site.options.statusCodes = c.status;
        const CheckRules rules = CheckRules::from(site);
        const PluginReport report =
            PluginReport::of(CheckEvaluator(rules).judge(c.response), c.response, c.limits);
        SCOPED_TRACE(report.line());
        const std::optional<PluginLine> line = parsePluginLine(report.line());
        ASSERT_TRUE(line);
        EXPECT_EQ(line->state, c.expected);
        EXPECT_EQ(std::string(PluginReport::stateName(report.state())), line->state);
        EXPECT_EQ(report.exitStatus(), line->state == "OK"         ? 0
                                       : line->state == "WARNING"  ? 1
                                       : line->state == "CRITICAL" ? 2
                                                                   : 3);
        const Perf* time = perfNamed(*line, "time");
        if (c.response.totalMs >= 0) {
            ASSERT_TRUE(time);
            EXPECT_EQ(time->unit, "s");
            EXPECT_NEAR(time->value, c.response.totalMs / 1000, 0.0006);
            EXPECT_EQ(time->min, 0.0);
            // A good page: the host's own reading of the ranges gives the state.
            if (c.response.ok && line->state != "UNKNOWN" && line->text.find(':') == std::string::npos) {
                const char* hostState = time->crit && time->crit->alerts(time->value)   ? "CRITICAL"
                                        : time->warn && time->warn->alerts(time->value) ? "WARNING"
                                                                                        : "OK";
                EXPECT_EQ(line->state, hostState);
            }
        }
        if (c.response.ok) {
            const Perf* size = perfNamed(*line, "size");
            ASSERT_TRUE(size);
            EXPECT_EQ(size->unit, "B");
            EXPECT_EQ(size->value, static_cast<double>(c.response.bytesReceived));
        }
    }
}

TEST(PluginReportTest, ThresholdSecondsUseNoMoreDigitsThanNeeded) {
    EXPECT_EQ(PluginReport::seconds(500), "0.5");
    EXPECT_EQ(PluginReport::seconds(1000), "1");
    EXPECT_EQ(PluginReport::seconds(1234), "1.234");
    EXPECT_EQ(PluginReport::seconds(60050), "60.05");
    // The test's parser is strict: it refuses what a host would misread.
    for (const char* bad :
         {"VANTREL OK - fine | time=0.1s;0.5;1;0 size=1B;;;0 ", "VANTREL OK - a | b | time=1s",
          "VANTREL FINE - x", "VANTREL OK - x | time=abc", "VANTREL OK - x | time=1s;1:0",
          "VANTREL OK - x | time=1s;@", "VANTREL OK - x |time=1s", "VANTREL OK -  | time=1s"})
        EXPECT_FALSE(parsePluginLine(bad)) << bad;
    EXPECT_TRUE(parsePluginLine("VANTREL WARNING - x | time=1s;@0:0.5;~:2;0;10 size=1B"));
}

TEST(PluginReportTest, ChecksALoopbackServerWithTheMeaningOfTheSiteOptions) {
    test::HttpTestServer server;
    server.route("/", test::HttpTestServer::ok(std::string(5120, 'x') + "status: green"));
    server.route("/down", test::HttpTestServer::status(503, "Service Unavailable", "maintenance"));
    CurlHttpClient http(std::chrono::seconds(5), std::chrono::seconds(5), CurlHttpClient::kMaxPageBytes,
                        std::chrono::seconds(5));
    auto run = [&http](CheckCommand::Arguments a) {
        const PluginReport r = CheckCommand::run(a, http);
        EXPECT_TRUE(parsePluginLine(r.line())) << r.line();
        return r;
    };
    CheckCommand::Arguments a;
    a.url = server.url("/");
    a.text = "green";
    a.headers = {"X-Probe: 1"};
    PluginReport r = run(a);
    EXPECT_EQ(r.state(), PluginReport::State::Ok) << r.line();
    EXPECT_NE(r.line().find("VANTREL OK - 200 in "), std::string::npos);
    EXPECT_NE(r.line().find(" size=5133B;;;0"), std::string::npos);
    EXPECT_NE(server.lastRequest().find("X-Probe: 1\r\n"), std::string::npos);

    a.invert = true;
    EXPECT_EQ(run(a).state(), PluginReport::State::Critical);
    a.invert = false;
    a.text.clear();
    a.regex = "status: (green|amber)";
    EXPECT_EQ(run(a).state(), PluginReport::State::Ok);

    a = {};
    a.url = server.url("/down");
    EXPECT_EQ(run(a).state(), PluginReport::State::Ok)
        << "without --status any status will do, as for a site";
    a.status = "200-299";
    r = run(a);
    EXPECT_EQ(r.state(), PluginReport::State::Critical);
    EXPECT_NE(r.line().find("503"), std::string::npos);

    // Arguments that cannot be used send nothing.
    const size_t before = server.requests().size();
    a.status = "2xx";
    EXPECT_EQ(run(a).state(), PluginReport::State::Unknown);
    a.status.clear();
    a.text = "x";
    a.regex = "y";
    EXPECT_EQ(run(a).state(), PluginReport::State::Unknown);
    a.regex.clear();
    a.warnMs = 900;
    a.critMs = 100;
    EXPECT_EQ(run(a).state(), PluginReport::State::Unknown);
    a.warnMs = a.critMs = 0;
    a.headers = {"Bad header"};
    EXPECT_EQ(run(a).state(), PluginReport::State::Unknown);
    EXPECT_EQ(server.requests().size(), before);
}

} // namespace
