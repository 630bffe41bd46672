// One check pass over 200 sites on a loopback HTTP server, against the same
// 200 fetches made by curl, and the program's resident memory after 1 and
// after 100 passes. The pass's fixed 2-second opening wait is left out (the
// pump records it instead of waiting).
#include "bench/BenchSupport.h"
#include "bench/QuietView.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

using namespace vantrel;
using namespace vantrel::test;
using namespace vantrel::bench;

namespace {

constexpr int kSites = 200;

} // namespace

int main() {
    TempDir dir;
    HttpTestServer web;
    std::string page = "<html><body>";
    for (int i = 0; i < 200; ++i)
        page += "<p>Some ordinary text of an ordinary page, line " + std::to_string(i) + ".</p>\n";
    page += "Welcome</body></html>";
    web.route("/page", HttpTestServer::ok(page));
    web.setRecording(false);

    QuietView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    CurlHttpClient http;
    SiteMonitor engine(view, MonitorServices{&pump, &clock, &http, &sound});
    view.engine = &engine;
    vantrel::test::editSettings(engine, [&](Settings& s, ExtraSettings&) { s.logFile = "/dev/null"; });
    engine.applyMonitorSetting();
    for (int i = 0; i < kSites; ++i) {
        SiteEntry e;
        e.title = "Site " + std::to_string(i);
        e.url = web.url("/page");
        e.testString = "Welcome";
        e.action = "Email / Sound";
        e.status = "OK";
        vantrel::test::addSite(engine, e);
    }

    auto t0 = Steady::now();
    engine.runCheckPass();
    const double firstPass = secondsOf(Steady::now() - t0);
    const long rssAfter1 = residentKb();
    double best = firstPass;
    long rssAfter10 = 0;
    for (int pass = 2; pass <= 100; ++pass) {
        if (pass == 11)
            rssAfter10 = residentKb();
        t0 = Steady::now();
        engine.runCheckPass();
        best = std::min(best, secondsOf(Steady::now() - t0));
    }
    const long rssAfter100 = residentKb();

    // The same fetches with curl: 200 processes, then one process for all.
    t0 = Steady::now();
    for (int i = 0; i < kSites; ++i)
        run({"curl", "-s", "-o", "/dev/null", web.url("/page")});
    const double curlLoop = secondsOf(Steady::now() - t0);
    writeCurlConfig("urls.cfg", std::vector<std::string>(kSites, web.url("/page")));
    t0 = Steady::now();
    run({"curl", "-s", "-K", "urls.cfg"});
    const double curlOne = secondsOf(Steady::now() - t0);

    std::printf("sites per pass:                 %d\n", kSites);
    std::printf("pass, first / best of 100:      %.3f s / %.3f s\n", firstPass, best);
    std::printf("curl loop (200 processes):      %.3f s   ratio pass/curl %.2f\n", curlLoop, best / curlLoop);
    std::printf("curl, one process for all 200:  %.3f s   ratio pass/curl %.2f\n", curlOne, best / curlOne);
    std::printf("resident memory after 1 / 10 / 100 passes: %ld kB / %ld kB / %ld kB\n", rssAfter1,
                rssAfter10, rssAfter100);
    std::printf("checks counted: %d\n", engine.data().checkCount);
    return 0;
}
