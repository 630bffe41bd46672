// Check passes over 200 loopback sites, one page at a time against several at
// once: 200 fast sites (against curl over the same URLs, one process, one at
// a time and --parallel), and 200 sites of which 10 hang (the server accepts,
// reads the request and never answers), against a pass over the one hanging
// site alone, the slowest single site. The stall limit is shortened to kStall
// so the slow passes end in reasonable time. The pages are served by a child
// process; the work beside the downloads runs as under the window. The
// pass's fixed 2-second opening wait is left out (the pump records it
// instead of waiting).
#include "bench/BenchSupport.h"
#include "bench/ChildPageServers.h"
#include "bench/QuietView.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace vantrel::bench;

namespace {

constexpr int kSites = 200;
constexpr int kHanging = 10;
constexpr std::chrono::seconds kStall{2};

struct Bench {
    const bench::ChildPageServers& web;
    TempDir dir;
    QuietView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    FakeNetworkStatus network;
    CurlHttpClient http{std::chrono::seconds(60), kStall};
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network}};
    double cpu = 0; // of the last pass

    explicit Bench(const bench::ChildPageServers& servers) : web(servers) {
        pump.alongsideOnWorker = true;
        view.engine = &engine;
        vantrel::test::editSettings(engine, [&](Settings& s, ExtraSettings&) { s.logFile = "/dev/null"; });
        engine.applyMonitorSetting();
    }

    // `count` sites; with `hanging`, every twentieth one hangs.
    void fill(int count, bool hanging) {
        vantrel::test::setSites(engine, {});
        for (int i = count - 1; i >= 0; --i) {
            SiteEntry e;
            e.title = "Site " + std::to_string(i);
            e.url = hanging && i % (kSites / kHanging) == kSites / kHanging / 2 ? web.hangUrl()
                                                                                : web.url(0, "/page");
            e.testString = "Welcome";
            e.action = "Sound";
            e.status = "OK";
            vantrel::test::addSite(engine, e);
        }
    }

    // One site only: the hanging one.
    void fillSlowest() {
        vantrel::test::setSites(engine, {});
        SiteEntry e;
        e.title = "Slowest";
        e.url = web.hangUrl();
        e.testString = "Welcome";
        e.action = "Sound";
        e.status = "OK";
        vantrel::test::addSite(engine, e);
    }

    double pass(int parallel) {
        vantrel::test::editExtra(engine, [&](ExtraSettings& x) { x.parallelFetches = parallel; });
        const double cpu0 = cpuSeconds();
        const auto t0 = Steady::now();
        engine.runCheckPass();
        const double took = secondsOf(Steady::now() - t0);
        cpu = cpuSeconds() - cpu0;
        return took;
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
    const bench::ChildPageServers servers(1);
    Bench b(servers);
    const int defaults = ExtraSettings{}.parallelFetches;

    b.fillSlowest();
    const double slowestSingle = b.pass(defaults);

    b.fill(kSites, false);
    const double fast1 = b.bestOf(5, 1);
    const double fastDefault = b.bestOf(5, defaults);
    const double fastCpu = b.cpu;
    std::vector<std::string> urls;
    for (int i = 0; i < kSites; ++i)
        urls.push_back(b.engine.sites().row(i).url);
    writeCurlConfig("urls.cfg", urls);
    const double curlOne = bestRunSeconds(5, {"curl", "-s", "-K", "urls.cfg"}, true);
    const double curlParallel = bestRunSeconds(
        5, {"curl", "-s", "--parallel", "--parallel-max", std::to_string(defaults), "-K", "urls.cfg"}, true);

    b.fill(kSites, true);
    const double hangDefault = b.pass(defaults);
    const double hang16 = b.pass(16);
    const double hang1 = b.pass(1);

    std::printf("stall limit %lld s; PARALLEL %d (the default)\n", static_cast<long long>(kStall.count()),
                defaults);
    std::printf("anchor: the program over the slowest site alone: %.3f s\n", slowestSingle);
    std::printf("anchor: curl over the 200 fast URLs, one process: %.3f s; --parallel-max %d: %.3f s\n",
                curlOne, defaults, curlParallel);
    std::printf("200 fast, 1 at once (best of 5):       %.3f s\n", fast1);
    std::printf("200 fast, PARALLEL %d (best of 5):      %.3f s, CPU %.3f s = %.2f x curl one / %.2f x curl "
                "--parallel\n",
                defaults, fastDefault, fastCpu, fastDefault / curlOne, fastDefault / curlParallel);
    std::printf(
        "190 fast + 10 hanging, PARALLEL %d:     %.3f s = %.2f x the slowest single site (target 1.2 x)\n",
        defaults, hangDefault, hangDefault / slowestSingle);
    std::printf("190 fast + 10 hanging, PARALLEL 16:    %.3f s = %.2f x\n", hang16, hang16 / slowestSingle);
    std::printf("190 fast + 10 hanging, 1 at once:      %.3f s = %.2f x\n", hang1, hang1 / slowestSingle);
    std::printf("checks counted: %d\n", b.engine.data().checkCount);
    return 0;
}
