// Check passes over 200 loopback sites, one page at a time against several at
// once: 200 fast sites, and 200 sites of which 10 hang (the server accepts,
// reads the request and never answers). The stall limit is shortened to
// kStall so the slow passes end in reasonable time; a hanging site then takes
// about one stall limit, and "slowest single site" is measured as the fetch
// of one hanging site on its own. The pass's fixed 2-second opening wait is
// left out (the pump records it instead of waiting).
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

using namespace vantrel;
using namespace vantrel::test;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kSites = 200;
constexpr int kHanging = 10;
constexpr std::chrono::seconds kStall{2};

class QuietView : public FakeMonitorView {
public:
    void showTrayOn() override {}
    void showTrayAlert() override {}
    void setCheckTimer(std::chrono::milliseconds) override {}
};

double secondsOf(Steady::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Bench {
    TempDir dir;
    HttpTestServer web{true};
    QuietView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    FakeNetworkStatus network;
    CurlHttpClient http{std::chrono::seconds(60), kStall};
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network}};

    Bench() {
        std::string page = "<html><body>";
        for (int i = 0; i < 200; ++i)
            page += "<p>Some ordinary text of an ordinary page, line " + std::to_string(i) + ".</p>\n";
        page += "Welcome</body></html>";
        web.route("/page", HttpTestServer::ok(page));
        web.route("/hang", HttpTestServer::silent());
        web.setRecording(false);
        view.data = &engine.data();
        engine.settings().logFile = "/dev/null";
        engine.applyMonitorSetting();
    }

    // 200 sites; with `hanging`, every twentieth one hangs.
    void fill(bool hanging) {
        engine.sites().clear();
        for (int i = kSites - 1; i >= 0; --i) {
            SiteEntry e;
            e.title = "Site " + std::to_string(i);
            e.url = web.url(hanging && i % (kSites / kHanging) == kSites / kHanging / 2 ? "/hang" : "/page");
            e.testString = "Welcome";
            e.action = "Sound";
            e.status = "OK";
            engine.sites().insertAtTop(e);
        }
    }

    double pass(int parallel) {
        engine.extraSettings().parallelFetches = parallel;
        const auto t0 = Steady::now();
        engine.runCheckPass();
        return secondsOf(Steady::now() - t0);
    }

    double bestOf(int runs, int parallel) {
        double best = 1e9;
        for (int r = 0; r < runs; ++r)
            best = std::min(best, pass(parallel));
        return best;
    }
};

} // namespace

int main() {
    Bench b;
    const auto t0 = Steady::now();
    const HttpResponse single = b.http.perform(PageFetcher::requestFor(b.web.url("/hang")));
    const double slowestSingle = secondsOf(Steady::now() - t0);

    b.fill(false);
    const double fast1 = b.bestOf(5, 1);
    const double fast8 = b.bestOf(5, 8);

    b.fill(true);
    const double hang1 = b.pass(1);
    const double hang8 = b.pass(8);
    const double hang16 = b.pass(16);

    std::printf("stall limit: %lld s; slowest single site (one hanging fetch): %.3f s (error %d)\n",
                static_cast<long long>(kStall.count()), slowestSingle, single.errorNumber);
    std::printf("%-34s %12s %12s %12s\n", "pass over 200 sites", "1 at once", "8 at once", "16 at once");
    std::printf("%-34s %10.3f s %10.3f s %12s\n", "200 fast (best of 5)", fast1, fast8, "-");
    std::printf("%-34s %10.3f s %10.3f s %10.3f s\n", "190 fast + 10 hanging", hang1, hang8, hang16);
    std::printf("%-34s %10.2f x %10.2f x %10.2f x\n", "  in slowest single sites", hang1 / slowestSingle,
                hang8 / slowestSingle, hang16 / slowestSingle);
    std::printf("checks counted: %d\n", b.engine.data().checkCount);
    return 0;
}
