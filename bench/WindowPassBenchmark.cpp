// The real main window (offscreen, unattended as a headless run is) during
// check passes over 10,000 loopback sites (4 page servers in a child
// process): a timer every 5 ms on the window's thread records how late it
// fires, so the longest lateness is the longest time the window could not
// answer. Also the start with 10,000 sites and a history present: the time
// from making the window until the settings file has been written again.
// The anchor, run in the same process after the passes: curl --parallel
// with the default limit over the same URLs.
#include "app/SiteMonitorDlg.h"
#include "bench/BenchSupport.h"
#include "bench/ChildPageServers.h"
#include "history/SqliteCheckHistory.h"
#include "model/SiteListFile.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <vector>

using namespace vantrel;
using namespace vantrel::bench;

namespace {

constexpr double kOpeningWaitSeconds = 2.0; // the pass's fixed wait before the first site

// The CPU of the calling thread alone: the window's, here.
double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// curl --parallel over the sites' URLs at `parallel`, best of three, in seconds.
double curlAnchor(const bench::ChildPageServers& servers, int count, int parallel) {
    std::vector<std::string> urls;
    for (int i = 0; i < count; ++i)
        urls.push_back(servers.url(i, "/page"));
    bench::writeCurlConfig("urls.cfg", urls);
    return bench::bestRunSeconds(
        3, {"curl", "-s", "--parallel", "--parallel-max", std::to_string(parallel), "-K", "urls.cfg"}, true);
}

void writeSites(const bench::ChildPageServers& servers, int count) {
    SiteList list;
    for (int i = count - 1; i >= 0; --i) {
        SiteEntry e{"Site number " + std::to_string(i),
                    servers.url(i, "/page"),
                    "Welcome",
                    "Sound",
                    "",
                    "01 Jan 2026",
                    "",
                    "OK"};
        list.insertAtTop(e);
    }
    test::TempDir::writeFile("vantrel.dat", SiteListFile::serialize(list));
    test::TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\nINTERVAL=60\r\n");
}

// The C library's heap: in use, and free but still held, in kB.
std::pair<long, long> heapKb() {
    const struct mallinfo2 m = ::mallinfo2();
    return {static_cast<long>((m.uordblks + m.hblkhd) / 1024), static_cast<long>(m.fordblks / 1024)};
}

long long mtimeNs(const char* name) {
    struct stat st {};
    if (::stat(name, &st) != 0)
        return -1;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

// One pass, started from the event loop as the check timer starts it, with
// the lateness timer running, which also notes when the opening wait ended
// (the status line leaves what it said before the pass; the wait's own timer
// may be 5 % off).
struct TimedPass {
    double seconds = 0; // the whole pass
    double work = 0;    // after the opening wait
    double worstMs = 0; // the longest lateness
};

TimedPass timedPass(CSiteMonitorDlg& dlg) {
    constexpr int kTickMs = 5;
    TimedPass result;
    QElapsedTimer since;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    const std::string before = dlg.engine().data().statusText;
    std::optional<Steady::time_point> working;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        result.worstMs = std::max(result.worstMs, static_cast<double>(since.nsecsElapsed()) / 1e6 - kTickMs);
        since.restart();
        if (!working && dlg.engine().data().statusText != before)
            working = Steady::now();
    });
    QEventLoop loop;
    QTimer::singleShot(0, [&] {
        since.start();
        tick.start(kTickMs);
        const auto t0 = Steady::now();
        dlg.engine().runCheckPass();
        const auto t1 = Steady::now();
        result.seconds = std::chrono::duration<double>(t1 - t0).count();
        result.work = working ? std::chrono::duration<double>(t1 - *working).count()
                              : result.seconds - kOpeningWaitSeconds;
        tick.stop();
        loop.quit();
    });
    loop.exec();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int sites = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int passes = argc > 2 ? std::atoi(argv[2]) : 10;
    const bench::ChildPageServers servers(4);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    test::TempDir dir;
    writeSites(servers, sites);

    std::printf("%d sites, PARALLEL %d (the default)\n", sites, ExtraSettings{}.parallelFetches);
    double bestWork = 1e9;
    double worstWork = 0;
    double longestWait = 0;
    long rssFirst = 0;
    long rssLast = 0;
    {
        CSiteMonitorDlg dlg;
        dlg.setUnattended(true);
        dlg.OnInitDialog();
        std::printf("after the start: RSS %ld kB (anonymous %ld kB)\n", residentKb(), statusKb("RssAnon:"));
        for (int pass = 1; pass <= passes; ++pass) {
            const double cpu0 = cpuSeconds();
            const double windowCpu0 = threadCpuSeconds();
            const TimedPass timed = timedPass(dlg);
            const double took = timed.seconds;
            const double worst = timed.worstMs;
            const double cpu = cpuSeconds() - cpu0;
            const double windowCpu = threadCpuSeconds() - windowCpu0;
            // The memory after the pass is read once its history is written
            // and the program has been at rest for a moment, as between passes.
            if (auto* history = dlg.checkHistory())
                history->flush(std::chrono::seconds(30));
            QEventLoop rest;
            QTimer::singleShot(1500, &rest, &QEventLoop::quit);
            rest.exec();
            const double work = timed.work;
            bestWork = std::min(bestWork, work);
            worstWork = std::max(worstWork, work);
            longestWait = std::max(longestWait, worst);
            rssFirst = pass == 1 ? residentKb() : rssFirst;
            rssLast = residentKb();
            const auto [inUse, heapFree] = heapKb();
            std::printf("pass %d: %.3f s (%.3f s after the 2 s opening wait), CPU %.3f ms a site (the "
                        "window's thread "
                        "%.3f), window's longest wait %.1f ms (target 50 ms), RSS %ld kB (anonymous %ld kB; "
                        "heap in use "
                        "%ld kB, free %ld kB)\n",
                        pass, took, work, cpu * 1000 / sites, windowCpu * 1000 / sites, worst, rssLast,
                        statusKb("RssAnon:"), inUse, heapFree);
        }
        dlg.OnDestroy();
    }
    // Again, now with the history of those passes present.
    const long long before = mtimeNs("vantrel.ini");
    timespec start{};
    ::clock_gettime(CLOCK_REALTIME, &start);
    const auto t0 = Steady::now();
    {
        CSiteMonitorDlg dlg;
        dlg.setUnattended(true);
        dlg.OnInitDialog();
        const double whole = std::chrono::duration<double>(Steady::now() - t0).count();
        const long long written = mtimeNs("vantrel.ini");
        const double toIni =
            static_cast<double>(written -
                                (static_cast<long long>(start.tv_sec) * 1000000000LL + start.tv_nsec)) /
            1e9;
        std::printf(
            "start with %d sites and a history: %.3f s to the settings file rewritten%s (target 0.2 s), "
            "%.3f s to the end of the start-up, RSS %ld kB\n",
            sites, toIni, written != before ? "" : " (NOT rewritten)", whole, residentKb());
        vantrel::test::setSites(dlg.engine(), {}); // keep the file as it is
    }
    const int parallel = ExtraSettings{}.parallelFetches;
    const double curl = curlAnchor(servers, sites, parallel);
    std::printf("anchor: curl --parallel --parallel-max %d over the same URLs, best of 3: %.3f s\n", parallel,
                curl);
    std::printf("pass work (opening wait left out) %.3f-%.3f s = %.2f-%.2f x curl (target 1.3 x); "
                "longest wait %.1f ms (target 50 ms); RSS after pass 1 / %d: %ld / %ld kB (target 80 MB)\n",
                bestWork, worstWork, bestWork / curl, worstWork / curl, longestWait, passes, rssFirst,
                rssLast);
    return 0;
}
