#pragma once

// The engine with real HTTP and SMTP peers on loopback, a history in memory
// and fakes for the rest: what the triage tests share.

#include "model/DateText.h"
#include "model/ExtraSettingsFile.h"
#include "monitor/ConnectivityVerdict.h"
#include "monitor/SiteMonitor.h"
#include "monitor/SnoozePolicy.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <set>

namespace vantrel::test {

// The history in memory: what was recorded, in order.
class MemoryHistory : public CheckHistory {
public:
    struct Gap {
        std::time_t from, to;
        std::string reason;
    };
    std::vector<CheckRecord> checks;
    std::vector<AlertRecord> alerts;
    std::vector<Gap> gaps;

    void recordCheck(const CheckRecord& r) override { checks.push_back(r); }
    void recordAlert(const AlertRecord& r) override { alerts.push_back(r); }
    void recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason) override {
        gaps.push_back({from, to, reason});
    }
    bool available() const override { return true; }
    std::string problem() const override { return {}; }
    SiteSummary summary(const std::string&, const std::string&, std::time_t, int) override { return {}; }
    std::vector<SeriesPoint> series(const std::string&, const std::string&, std::time_t,
                                    std::time_t) override {
        return {};
    }
    bool exportChecks(const std::string&, const std::string&,
                      const std::function<void(const CheckRecord&)>&) override {
        return true;
    }
};

// Real HTTP, except that the names given do not resolve: the resolver of
// the test, which answers nothing for them, and nothing leaves the machine.
class UnresolvingHttp : public HttpClient {
public:
    explicit UnresolvingHttp(HttpClient& real) : real_(real) {}
    std::set<std::string> unresolved;
    HttpResponse perform(const HttpRequest& request) override {
        if (unresolved.count(ConnectivityVerdict::hostOf(request.url))) {
            HttpResponse r;
            r.errorNumber = CurlHttpClient::kErrNameNotResolved;
            return r;
        }
        return real_.perform(request);
    }

private:
    HttpClient& real_;
};

class TriageTest : public ::testing::Test {
protected:
    TriageTest() {
        view.data = &engine.data();
        engine.setHistory(&history);
        web.route("/hook", HttpTestServer::ok("called"));
        Settings& s = engine.settings();
        s.email1 = "ops@example.test";
        s.smtpServer = smtp.hostPort();
        s.notify = "On Change";
        s.everyError = "no";
        engine.applyMonitorSetting();
    }

    void setSites(const std::vector<SiteEntry>& top) {
        engine.sites().clear();
        for (auto it = top.rbegin(); it != top.rend(); ++it)
            engine.sites().insertAtTop(*it);
    }

    SiteEntry site(const std::string& path, const std::string& status,
                   const std::string& action = "Email / URL / Sound") {
        SiteEntry e;
        e.title = "Site " + path;
        e.url = web.url("/" + path);
        e.testString = "Welcome";
        e.action = action;
        e.status = status;
        e.errorUrl = web.url("/hook");
        return e;
    }

    void up(const std::string& path) { web.route("/" + path, HttpTestServer::ok("<p>Welcome</p>")); }
    void down(const std::string& path) { web.route("/" + path, HttpTestServer::ok("<p>Closed</p>")); }

    int hookCalls() const {
        const std::vector<std::string> requests = web.requests();
        return static_cast<int>(std::count_if(requests.begin(), requests.end(), [](const std::string& r) {
            return r.rfind("GET /hook ", 0) == 0;
        }));
    }
    // The URLs of the log's lines, in order.
    static std::vector<std::string> loggedUrls() {
        const std::string log = TempDir::readFile("vantrel.log");
        std::vector<std::string> urls;
        for (size_t at = log.find("http://"); at != std::string::npos; at = log.find("http://", at + 1))
            urls.push_back(log.substr(at, log.find(' ', at) - at));
        return urls;
    }
    // Quiet hours from the clock's hour to the next, in local time.
    std::string quietAroundNow() const {
        const std::time_t now = clock.now();
        std::tm tm{};
        localtime_r(&now, &tm);
        char text[16];
        std::snprintf(text, sizeof text, "%02d:00-%02d:00", tm.tm_hour, (tm.tm_hour + 1) % 24);
        return text;
    }

    TempDir dir;
    HttpTestServer web;
    SmtpTestPeer smtp;
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    FakeNetworkStatus network;
    MemoryHistory history;
    CurlHttpClient curl{std::chrono::seconds(60), std::chrono::seconds(1)};
    UnresolvingHttp http{curl};
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network, nullptr, &view}};
};

} // namespace vantrel::test
