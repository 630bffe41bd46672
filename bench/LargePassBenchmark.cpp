// Check passes over 10,000 fast loopback sites at the default number of
// parallel fetches, with a real log file and a real history, against curl
// fetching the same URLs with the same limit: the pass's time and CPU, the
// CPU a site, and the resident memory after each of ten passes. The pages are
// served by a child process (four servers, the sites spread over them), so
// the CPU and memory measured are the engine's alone. The pass's fixed 2-second opening
// wait is left out (the pump records it instead of waiting).
#include "bench/BenchSupport.h"
#include "bench/ChildPageServers.h"
#include "bench/QuietView.h"
#include "history/SqliteCheckHistory.h"
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
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using namespace vantrel::bench;

namespace {

constexpr int kServers = 4;
constexpr int kPasses = 10;

} // namespace

int main(int argc, char** argv) {
    const int sites = argc > 1 ? std::atoi(argv[1]) : 10000;
    const bench::ChildPageServers servers(kServers);

    TempDir dir;
    QuietView view;
    RecordingEventPump pump;
    pump.alongsideOnWorker = true;
    FakeClock clock;
    FakeSoundPlayer sound;
    FakeNetworkStatus network;
    CurlHttpClient http;
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network}};
    SqliteCheckHistory history(SqliteCheckHistory::kFileName, 90, 512LL * 1024 * 1024, clock);
    engine.setHistory(&history);
    view.engine = &engine;
    engine.applyMonitorSetting();
    std::vector<std::string> urls;
    for (int i = sites - 1; i >= 0; --i) {
        SiteEntry e;
        e.title = "Site " + std::to_string(i);
        e.url = servers.url(i, "/page");
        e.testString = "Welcome";
        e.action = "Email / Sound";
        e.status = "OK";
        vantrel::test::addSite(engine, e);
    }
    for (int i = 0; i < sites; ++i)
        urls.push_back(engine.sites().row(i).url);

    std::printf("%d sites, PARALLEL %d (the default), log and history written\n", sites,
                engine.extraSettings().parallelFetches);
    std::printf("%-6s %10s %10s %14s %10s\n", "pass", "time", "CPU", "CPU a site", "RSS");
    double best = 1e9;
    double bestCpu = 1e9;
    long rssFirst = 0;
    long rssLast = 0;
    for (int pass = 1; pass <= kPasses; ++pass) {
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        const auto t0 = Steady::now();
        engine.runCheckPass();
        const double wall = secondsOf(Steady::now() - t0);
        const double cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        history.flush(std::chrono::seconds(30));
        const long rss = residentKb();
        if (pass == 1)
            rssFirst = rss;
        rssLast = rss;
        best = std::min(best, wall);
        bestCpu = std::min(bestCpu, cpu);
        std::printf("%-6d %8.3f s %8.3f s %11.3f ms %7ld kB\n", pass, wall, cpu, cpu * 1000 / sites, rss);
    }

    writeCurlConfig("urls.cfg", urls);
    const double curlBest =
        bestRunSeconds(3, {"curl", "-s", "--parallel", "--parallel-max", "8", "-K", "urls.cfg"}, true);
    const double curlCpu = cpuSeconds(RUSAGE_CHILDREN);

    std::printf(
        "anchor: curl --parallel --parallel-max 8 over the same URLs, best of 3: %.3f s (CPU %.3f s for 3)\n",
        curlBest, curlCpu);
    std::printf("best pass %.3f s = %.2f x curl (target 1.3 x); CPU %.3f ms a site (target 0.3 ms)\n", best,
                best / curlBest, bestCpu * 1000 / sites);
    std::printf("RSS after pass 1 / %d: %ld kB / %ld kB (target 80 MB, no growth)\n", kPasses, rssFirst,
                rssLast);
    std::printf("checks counted: %d, history records dropped: %lld\n", engine.data().checkCount,
                history.droppedRecords());
    return 0;
}
