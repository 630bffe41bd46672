// Load and save of the site list file at 1,000 and 10,000 sites, through the
// engine as the program does it (the window faked in memory). The save is
// measured both ways: replaced through a temporary file and a rename, and
// rewritten in place (a file with a second hard link).
#include "monitor/SiteMonitor.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/SampleSites.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

using namespace vantrel;

namespace {

void fill(SiteMonitor& engine, int n) {
    auto rows = test::sampleSites(n);
    test::addSites(engine, {rows.rbegin(), rows.rend()});
}

void BM_SaveSiteList(benchmark::State& state) {
    test::TempDir dir;
    test::FakeMonitorView view;
    SiteMonitor engine(view);
    view.engine = &engine;
    fill(engine, static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.saveSiteList());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SaveSiteListInPlace(benchmark::State& state) {
    test::TempDir dir;
    test::FakeMonitorView view;
    SiteMonitor engine(view);
    view.engine = &engine;
    fill(engine, static_cast<int>(state.range(0)));
    engine.saveSiteList();
    if (::link("vantrel.dat", "vantrel.dat.link") != 0) {
        state.SkipWithError("no hard link");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.saveSiteList());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadSiteList(benchmark::State& state) {
    test::TempDir dir;
    {
        test::FakeMonitorView view;
        SiteMonitor writer(view);
        view.engine = &writer;
        fill(writer, static_cast<int>(state.range(0)));
        writer.saveSiteList();
    }
    test::FakeMonitorView view;
    SiteMonitor engine(view);
    view.engine = &engine;
    for (auto _ : state) {
        state.PauseTiming();
        vantrel::test::setSites(engine, {});
        state.ResumeTiming();
        engine.loadSiteList();
    }
    if (engine.sites().rowCount() != state.range(0))
        state.SkipWithError("wrong row count");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_SaveSiteList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSiteListInPlace)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSiteList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
