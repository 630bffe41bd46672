// Load and save of the site list file at 1,000 and 10,000 sites, through the
// engine as the program does it (the window faked in memory).
#include "monitor/SiteMonitor.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

using namespace vantrel;

namespace {

void fill(SiteList& list, int n) {
    for (int i = 0; i < n; ++i) {
        SiteEntry e;
        e.title = "Site number " + std::to_string(i);
        e.url = "http://host" + std::to_string(i) + ".example.test/some/path/index.html";
        e.testString = "Welcome";
        e.action = "Email / URL / Sound";
        e.errorUrl = "http://alerts.example.test/POST /notify $HTTPsite=" + std::to_string(i);
        e.createDate = "01 Jan 2026";
        e.checkDate = "08 Dec 2026 01:23:45";
        e.status = (i % 3) ? "OK" : "404";
        list.insertAtTop(e);
    }
}

void BM_SaveSiteList(benchmark::State& state) {
    test::TempDir dir;
    test::FakeMonitorView view;
    SiteMonitor engine(view);
    view.data = &engine.data();
    fill(engine.sites(), static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.saveSiteList());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadSiteList(benchmark::State& state) {
    test::TempDir dir;
    {
        test::FakeMonitorView view;
        SiteMonitor writer(view);
        view.data = &writer.data();
        fill(writer.sites(), static_cast<int>(state.range(0)));
        writer.saveSiteList();
    }
    test::FakeMonitorView view;
    SiteMonitor engine(view);
    view.data = &engine.data();
    for (auto _ : state) {
        state.PauseTiming();
        engine.sites().clear();
        state.ResumeTiming();
        engine.loadSiteList();
    }
    if (engine.sites().rowCount() != state.range(0))
        state.SkipWithError("wrong row count");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_SaveSiteList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSiteList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
