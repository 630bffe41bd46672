#pragma once

#include "model/DateText.h"
#include "monitor/ConnectivityVerdict.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/MemoryHistory.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <set>

namespace vantrel::test {

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

// The engine with the window faked in memory, real HTTP and SMTP peers on
// loopback, a clock that stands still and waits that take no time.
class CheckPassTest : public ::testing::Test {
protected:
    CheckPassTest() {
        view.engine = &engine;
        web.route("/good", HttpTestServer::ok("<html>Welcome home</html>"));
        web.route("/changed", HttpTestServer::ok("<html>welcome, under maintenance</html>"));
        web.route("/hook", HttpTestServer::status(500, "Internal Server Error", "broken"));
        editSettings(engine, [&](Settings& s, ExtraSettings&) {
            s.email1 = "ops@example.test";
            s.smtpServer = smtp.hostPort();
            s.notify = "On Change";
            s.everyError = "no";
        });
        engine.applyMonitorSetting();
    }

    // Sites from the top row down.
    void setSites(const std::vector<SiteEntry>& top) { test::setSites(engine, top); }

    SiteEntry site(const std::string& path, const std::string& action, const std::string& status,
                   const std::string& test = "Welcome") {
        SiteEntry e;
        e.title = "Site " + path;
        e.url = path == "refused" ? refusedUrl : web.url("/" + path);
        e.testString = test;
        e.action = action;
        e.status = status;
        e.errorUrl = web.url("/hook");
        return e;
    }

    // The page at `path` passes or fails the test string "Welcome".
    void up(const std::string& path) { web.route("/" + path, HttpTestServer::ok("<p>Welcome</p>")); }
    void down(const std::string& path) { web.route("/" + path, HttpTestServer::ok("<p>Closed</p>")); }

    int hookCalls() const {
        int n = 0;
        for (const std::string& r : web.requests())
            n += r.rfind("GET /hook ", 0) == 0 || r.rfind("POST /", 0) == 0;
        return n;
    }
    // The URLs of the log's lines, in order.
    static std::vector<std::string> loggedUrls() {
        const std::string log = TempDir::readFile("vantrel.log");
        std::vector<std::string> urls;
        for (size_t at = log.find("http://"); at != std::string::npos; at = log.find("http://", at + 1))
            urls.push_back(log.substr(at, log.find(' ', at) - at));
        return urls;
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
    // A server that never answers fails after one second without data.
    CurlHttpClient http{std::chrono::seconds(60), std::chrono::seconds(1)};
    UnresolvingHttp resolver{http};
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &resolver, &sound, &network, nullptr, &view}};
    // Nothing listens on port 1 of the loopback address: refused at once.
    std::string refusedUrl = "http://127.0.0.1:1/";
};

} // namespace vantrel::test
