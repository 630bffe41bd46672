#pragma once

#include "model/DateText.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>

namespace vantrel::test {

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
    void setSites(const std::vector<SiteEntry>& top) {
        test::setSites(engine, top);
    }

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

    int hookCalls() const {
        int n = 0;
        for (const std::string& r : web.requests())
            n += r.rfind("GET /hook ", 0) == 0 || r.rfind("POST /", 0) == 0;
        return n;
    }

    TempDir dir;
    HttpTestServer web;
    SmtpTestPeer smtp;
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    FakeNetworkStatus network;
    // A server that never answers fails after one second without data.
    CurlHttpClient http{std::chrono::seconds(60), std::chrono::seconds(1)};
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network, nullptr, &view}};
    // Nothing listens on port 1 of the loopback address: refused at once.
    std::string refusedUrl = "http://127.0.0.1:1/";
};

} // namespace vantrel::test
