// What each kind of match costs, all measured in one run:
//  - on a 1 MiB and a 16 MiB page whose test string stands at its very end,
//    against the plain substring search a site without options gets;
//  - a check pass over 200 sites on a loopback HTTP server, every site on a
//    regular expression, against the same pass with substrings;
//  - hostile pattern and page pairs chosen to be slow for a backtracking
//    engine, or to exhaust RE2's cache of states.
// Times are the best of several runs (passes: of 20), so load on the
// machine shows as little as it can.
#include "model/TextUtil.h"
#include "monitor/CheckEvaluator.h"
#include "monitor/ContentMatcher.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

using namespace vantrel;
using namespace vantrel::test;
using Steady = std::chrono::steady_clock;

namespace {

double bestOf(int runs, const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Steady::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Steady::now() - t0).count());
    }
    return best;
}

// Ordinary HTML of about `bytes`, ending in the test string.
std::string htmlPage(size_t bytes) {
    std::string page = "<html><body>";
    for (int i = 0; page.size() < bytes - 64; ++i)
        page += "<p>Some ordinary text of an ordinary page, line " + std::to_string(i) + ".</p>\n";
    return page + "Welcome  home</body></html>";
}

// A JSON document of about `bytes`, its status last.
std::string jsonPage(size_t bytes) {
    std::string page = "{\"items\":[";
    for (int i = 0; page.size() < bytes - 64; ++i)
        page += "{\"id\":" + std::to_string(i) + ",\"name\":\"item " + std::to_string(i) + "\"},";
    return page + "{}],\"status\":\"ok\"}";
}

CheckRules rulesFor(const char* match, const char* test, const char* pointer = "") {
    SiteEntry site;
    site.testString = test;
    site.options.match = match;
    site.options.jsonPointer = pointer;
    return CheckRules::from(site);
}

class QuietView : public FakeMonitorView {
public:
    void showTrayOn() override {}
    void showTrayAlert() override {}
    void setCheckTimer(std::chrono::milliseconds) override {}
};

// An engine whose 200 sites are on `web`'s page, every site with `match` and `test`.
struct PassEngine {
    QuietView view;
    RecordingEventPump pump;
    FakeClock clock;
    CurlHttpClient http;
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http}};

    PassEngine(HttpTestServer& web, const char* match, const char* test) {
        view.engine = &engine;
        vantrel::test::editSettings(engine, [&](Settings& s, ExtraSettings&) { s.logFile = "/dev/null"; });
        engine.applyMonitorSetting();
        for (int i = 0; i < 200; ++i) {
            SiteEntry e("Site " + std::to_string(i), web.url("/page"), test, "Sound", "", "", "", "OK");
            e.options.match = match;
            vantrel::test::addSite(engine, e);
        }
    }
    double pass() {
        return bestOf(1, [&] { engine.runCheckPass(); });
    }
};

} // namespace

int main() {
    std::printf("%-34s %12s %12s\n", "match, test string at the end", "1 MiB", "16 MiB");
    const std::string pages[] = {htmlPage(1 << 20), htmlPage(16 << 20)};
    const std::string json[] = {jsonPage(1 << 20), jsonPage(16 << 20)};
    double anchor[2] = {};
    for (int p = 0; p < 2; ++p)
        anchor[p] = bestOf(5, [&] {
            volatile bool found = text::contains(pages[p], "Welcome  home");
            (void)found;
        });
    std::printf("%-34s %9.3f ms %9.3f ms   (anchor: 1.00)\n", "today's substring search", anchor[0] * 1e3,
                anchor[1] * 1e3);
    struct Kind {
        const char* name;
        CheckRules rules;
        bool json;
    };
    const Kind kinds[] = {
        {"text (MATCH=text)", rulesFor("text", "Welcome  home"), false},
        {"nocase", rulesFor("nocase", "WELCOME  HOME"), false},
        {"regex Wel+come\\s+home", rulesFor("regex", "Wel+come\\s+home"), false},
        {"regex (?i)welcome.{0,20}home", rulesFor("regex", "(?i)welcome.{0,20}home"), false},
        {"json /status (4 MiB bound)", rulesFor("json", "ok", "/status"), true},
    };
    for (const Kind& k : kinds) {
        const ContentMatcher matcher(k.rules);
        double t[2];
        bool pass[2];
        for (int p = 0; p < 2; ++p) {
            const std::string& page = k.json ? json[p] : pages[p];
            t[p] = bestOf(5, [&] { pass[p] = matcher.check(page).pass; });
        }
        std::printf("%-34s %9.3f ms %9.3f ms   ratio %6.2f / %6.2f  %s%s\n", k.name, t[0] * 1e3, t[1] * 1e3,
                    t[0] / anchor[0], t[1] / anchor[1], pass[0] ? "found" : "not found",
                    pass[1] ? "" : " / refused or not found");
    }

    std::printf("\nhostile pairs (16 MiB page), bounded by RE2's linear search:\n");
    struct Hostile {
        const char* pattern;
        std::string page;
    };
    std::string random(16 << 20, 'a');
    for (size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>('a' + (i * 2654435761u >> 7) % 26);
    const Hostile hostile[] = {
        {"(a+)+b", std::string(16 << 20, 'a')},    // catastrophic for a backtracking engine
        {"(x|xx)*y", std::string(16 << 20, 'x')},  // the same
        {"[a-q][^u-z]{13}x", random},              // a state for each of 2^13 histories
        {"(.*){20}=", std::string(16 << 20, 'z')}, // nested stars
    };
    for (const Hostile& h : hostile) {
        const ContentMatcher matcher(rulesFor("regex", h.pattern));
        bool found = false;
        const double t = bestOf(2, [&] { found = !matcher.check(h.page).pass; });
        (void)found;
        std::printf("  %-22s %9.1f ms   ratio to substring %6.1f\n", h.pattern, t * 1e3, t / anchor[1]);
    }

    TempDir dir;
    HttpTestServer web;
    web.route("/page", HttpTestServer::ok(htmlPage(20 * 1024)));
    web.setRecording(false);
    // The two passes take turns, so that load on the machine falls on both alike.
    PassEngine plain(web, "", "Welcome  home");
    PassEngine regex(web, "regex", "Wel+come\\s+home");
    double substrings = 1e9;
    double regexes = 1e9;
    for (int i = 0; i < 20; ++i) {
        substrings = std::min(substrings, plain.pass());
        regexes = std::min(regexes, regex.pass());
    }
    std::printf("\n200-site pass, 20 KiB pages, best of 20: substrings %.3f s, regular expressions %.3f s, "
                "ratio %.3f (target at most 1.2)\n",
                substrings, regexes, regexes / substrings);
    return 0;
}
