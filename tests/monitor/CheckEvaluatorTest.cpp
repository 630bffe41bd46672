#include "monitor/CheckEvaluator.h"
#include "model/SiteEntry.h"
#include "monitor/CheckRules.h"
#include "monitor/PageFetcher.h"
#include "monitor/SiteRequest.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/MemorySecretStore.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

SiteEntry siteWith(const std::string& test, SiteOptions options = {}) {
    SiteEntry e;
    e.title = "T";
    e.url = "http://example.test/";
    e.testString = test;
    e.options = std::move(options);
    return e;
}

HttpResponse page(std::string body, int status = 200, double ms = 10) {
    HttpResponse r;
    r.ok = true;
    r.body = std::move(body);
    r.statusCode = status;
    r.totalMs = ms;
    return r;
}

CheckVerdict judge(const SiteEntry& site, const HttpResponse& response) {
    return CheckEvaluator(CheckRules::from(site)).judge(response);
}

std::string problemsOf(const SiteEntry& site) {
    std::string out;
    for (const CheckRules::Problem& p : CheckRules::from(site).problems)
        out += p.key + ": " + p.message + "\n";
    return out;
}

using Outcome = CheckVerdict::Outcome;

} // namespace

TEST(CheckEvaluator, PlainTextIsTodaysSearchByteForByte) {
    const SiteEntry welcome = siteWith("Welcome");
    EXPECT_EQ(judge(welcome, page("Welcome at the very start")).outcome, Outcome::Good);
    EXPECT_EQ(judge(welcome, page(std::string("bin\0ary Welcome", 15))).outcome, Outcome::Good);
    const CheckVerdict missing = judge(welcome, page("welcome in lower case"));
    EXPECT_EQ(missing.outcome, Outcome::StringMissing);
    EXPECT_EQ(missing.reason, "text \"Welcome\" not found");
    EXPECT_EQ(missing.kind, ReasonKind::Text);
    // Any status and any page will do without options, and an empty test is no test.
    const CheckVerdict any = judge(siteWith(""), page("", 503));
    EXPECT_EQ(any.outcome, Outcome::Good);
    EXPECT_EQ(any.reason, "");
}

TEST(CheckEvaluator, StatusCodesAfterRedirects) {
    SiteOptions o;
    o.statusCodes = " 200-299, 301 ,404";
    const SiteEntry site = siteWith("", o);
    for (int code : {200, 250, 299, 301, 404})
        EXPECT_EQ(judge(site, page("", code)).outcome, Outcome::Good) << code;
    const CheckVerdict bad = judge(site, page("", 503));
    EXPECT_EQ(bad.outcome, Outcome::NotFetched);
    EXPECT_TRUE(bad.wrongStatus);
    EXPECT_EQ(bad.reason, "HTTP 503 (expected 200-299,301,404)");
    EXPECT_EQ(bad.kind, ReasonKind::HttpStatus);

    for (const char* wrong : {"2xx", "299-200", "99", "600", "200,", "200-", "20 0"}) {
        o.statusCodes = wrong;
        EXPECT_NE(problemsOf(siteWith("", o)).find("STATUSCODES: "), std::string::npos) << wrong;
    }
    // A site with a problem fails, and says which option.
    o.statusCodes = "2xx";
    const CheckVerdict v = judge(siteWith("", o), page("", 200));
    EXPECT_EQ(v.outcome, Outcome::StringMissing);
    EXPECT_EQ(v.kind, ReasonKind::Option);
    EXPECT_EQ(v.reason.rfind("option STATUSCODES \"2xx\" is not a status code", 0), 0u) << v.reason;
}

TEST(CheckEvaluator, MatchKindsAndTheirInversion) {
    struct Case {
        const char* match;
        const char* test;
        const char* body;
        bool invert;
        const char* reason; // "" when the page passes
    };
    const Case cases[] = {
        {"nocase", "WELCOME", "a welcome page", false, ""},
        {"nocase", "ÜBER UNS", "<h1>über uns</h1>", false, ""},
        {"nocase", "Error", "all fine", false, "text \"Error\" not found (ignoring case)"},
        {"nocase", "error", "An ERROR happened", true, "text \"error\" found (ignoring case)"},
        {"text", "Error", "An Error happened", true, "text \"Error\" found"},
        {"text", "Error", "all fine", true, ""},
        {"regex", "Welcome.*home", "Welcome to our home", false, ""},
        {"regex", "^Index of /", "Index of /pub", true, "pattern \"^Index of /\" matched"},
        {"regex", "v[0-9]+\\.[0-9]+", "version unknown", false, "pattern \"v[0-9]+\\.[0-9]+\" not matched"},
        {"json", "ok", R"({"status":"ok"})", false, ""},
        {"json", "ok", R"({"status":"degraded"})", false, "/status is \"degraded\", expected \"ok\""},
        {"json", "ok", R"({"status":"ok"})", true, "/status is \"ok\", expected anything else"},
        {"json", "ok", R"({"status":"degraded"})", true, ""},
        {"json", "ok", R"({"state":"ok"})", false, "/status not found"},
        {"json", "ok", "<html>", false, "response is not JSON (at byte 1)"},
        {"json", "ok", "<html>", true, "response is not JSON (at byte 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.match) + " " + c.test + " " + c.body);
        SiteOptions o;
        o.match = c.match;
        o.invert = c.invert ? "yes" : "";
        if (std::string(c.match) == "json")
            o.jsonPointer = "/status";
        const SiteEntry site = siteWith(c.test, o);
        EXPECT_EQ(problemsOf(site), "");
        const CheckVerdict v = judge(site, page(c.body));
        EXPECT_EQ(v.reason, c.reason);
        EXPECT_EQ(v.outcome, *c.reason ? Outcome::StringMissing : Outcome::Good);
    }
}

TEST(CheckEvaluator, JsonValuesOfEveryTypeAndTheBounds) {
    SiteOptions o;
    o.match = "json";
    const std::string doc = R"({"a":{"b~c":[1,2.0,true,null,"x"]},"n":200})";
    struct Case {
        const char* pointer;
        const char* expected;
        bool equal;
    };
    for (const Case& c : std::initializer_list<Case>{{"/n", "200", true},
                                                     {"/n", "200.0", true},
                                                     {"/n", "\"200\"", false},
                                                     {"/a/b~0c/1", "2", true},
                                                     {"/a/b~0c/2", "true", true},
                                                     {"/a/b~0c/3", "null", true},
                                                     {"/a/b~0c/4", "x", true},
                                                     {"/a/b~0c/9", "", false},
                                                     {"/a/b~0c/x", "", false},
                                                     {"/a", "", true}}) {
        o.jsonPointer = c.pointer;
        EXPECT_EQ(judge(siteWith(c.expected, o), page(doc)).outcome == Outcome::Good, c.equal)
            << c.pointer << " " << c.expected;
    }
    o.jsonPointer = "/n";
    EXPECT_EQ(judge(siteWith("201", o), page(doc)).reason, "/n is 200, expected 201");
    o.jsonPointer = "status";
    EXPECT_NE(problemsOf(siteWith("ok", o)).find("JSONPOINTER: "), std::string::npos);

    o.jsonPointer = "/x";
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    EXPECT_EQ(judge(siteWith("", o), page(deep)).reason, "JSON nested deeper than 64 levels");
    const std::string huge = "[\"" + std::string(JsonValueCheck::kMaxBytes, 'a') + "\"]";
    EXPECT_EQ(judge(siteWith("", o), page(huge)).reason, "response too large for JSON (over 4 MiB)");
}

TEST(CheckEvaluator, InvalidPatternIsRefusedWithRe2sMessage) {
    SiteOptions o;
    o.match = "regex";
    EXPECT_EQ(problemsOf(siteWith("(unclosed", o)), "TESTSTRING: missing ): (unclosed\n");
    // Past the memory bound a pattern is refused, not compiled without end.
    EXPECT_NE(problemsOf(siteWith("((a{100}){100}){100}", o)), "");
}

TEST(CheckEvaluator, SlowIsAGoodPageWithAReason) {
    SiteOptions o;
    o.slowMs = "2000";
    const SiteEntry site = siteWith("", o);
    EXPECT_FALSE(judge(site, page("", 200, 2000)).slow);
    const CheckVerdict v = judge(site, page("", 200, 4210));
    EXPECT_EQ(v.outcome, Outcome::Good);
    EXPECT_TRUE(v.slow);
    EXPECT_EQ(v.reason, "slow: 4.2 s (limit 2 s)");
    EXPECT_EQ(judge(site, page("", 200, 2030)).reason, "slow: 2.03 s (limit 2 s)");
    // A failure is not slow, however long it took.
    EXPECT_FALSE(judge(siteWith("missing", o), page("", 200, 9000)).slow);
}

TEST(CheckEvaluator, FetchFailuresInWords) {
    auto failure = [](int number) {
        HttpResponse r;
        r.errorNumber = number;
        return r;
    };
    const SiteEntry site = siteWith("x");
    EXPECT_EQ(judge(site, failure(CurlHttpClient::kErrNameNotResolved)).reason, "DNS: no such host");
    EXPECT_EQ(judge(site, failure(CurlHttpClient::kErrNameNotResolved)).kind, ReasonKind::Dns);
    EXPECT_EQ(judge(site, failure(CurlHttpClient::kErrTimeout)).reason, "timed out");
    HttpResponse expired = failure(CurlHttpClient::kErrInvalidCa);
    expired.certProblem = HttpResponse::CertProblem::Expired;
    expired.certDaysPastEnd = 3;
    EXPECT_EQ(judge(site, expired).reason, "certificate expired 3 days ago");
    EXPECT_EQ(std::string(reasonLabel(judge(site, expired).kind)), "certificate");
}

TEST(CheckRules, RequestOptionsAreValidated) {
    SiteOptions o;
    o.headers = {"X-Fine: yes", "Host: evil.test", "content-length: 5", "X-Split: a\r\nInjected: 1",
                 "NoColon",     "Bad Name: x"};
    o.method = "HEAD";
    o.every = "1441";
    o.auth = "basic";
    const std::string problems = problemsOf(siteWith("needs a body", o));
    for (const char* expected :
         {"HEADER: Host cannot be set", "HEADER: content-length cannot be set",
          "HEADER: a header must be one line", "HEADER: \"NoColon\" is not a header",
          "HEADER: \"Bad Name\" is not a header name", "TESTSTRING: must be empty with HEAD",
          "EVERY: must be a number of minutes from 1 to 1440", "AUTHUSER: a basic login needs a user"})
        EXPECT_NE(problems.find(expected), std::string::npos) << expected << "\n" << problems;
    EXPECT_EQ(CheckRules::from(siteWith("", o)).headers, std::vector<std::string>{"X-Fine: yes"});
}

TEST(SiteRequest, DefaultsAreTodaysRequestAndOptionsChangeOnlyTheirPart) {
    const SiteEntry plain = siteWith("x");
    const HttpRequest today = PageFetcher::requestFor(plain.url);
    const HttpRequest same = SiteRequest::build(plain, CheckRules::from(plain), nullptr);
    EXPECT_EQ(same.headers, today.headers);
    EXPECT_EQ(same.userAgent, "Vantrel 1.0");
    EXPECT_EQ(same.method, HttpRequest::Method::Get);
    EXPECT_TRUE(same.followRedirects);
    EXPECT_TRUE(same.verifyCertificate);
    EXPECT_EQ(same.auth, HttpRequest::Auth::None);

    SiteOptions o;
    o.headers = {"accept: application/json", "X-Token: 1"};
    o.userAgent = "probe/2";
    o.method = "HEAD";
    o.redirects = "no";
    o.insecure = "yes";
    o.auth = "bearer";
    const SiteEntry site = siteWith("", o);
    test::MemorySecretStore secrets;
    const HttpRequest without = SiteRequest::build(site, CheckRules::from(site), &secrets);
    EXPECT_EQ(without.auth, HttpRequest::Auth::None); // no secret known: no login
    secrets.secrets["site:http://example.test/"] = "t0ken";
    const HttpRequest r = SiteRequest::build(site, CheckRules::from(site), &secrets);
    EXPECT_EQ(r.headers, (std::vector<std::string>{"Cache-Control: no-cache", "Pragma: no-cache",
                                                   "accept: application/json", "X-Token: 1"}));
    EXPECT_EQ(r.userAgent, "probe/2");
    EXPECT_EQ(r.method, HttpRequest::Method::Head);
    EXPECT_FALSE(r.followRedirects);
    EXPECT_FALSE(r.verifyCertificate);
    EXPECT_EQ(r.auth, HttpRequest::Auth::Bearer);
    EXPECT_EQ(r.authSecret, "t0ken");
}
