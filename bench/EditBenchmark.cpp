// The editing commands on a 10,000-site list through the engine: sorting by
// a column, adding a row (its checks, the duplicate search, the insert at the
// top) and removing a row. The window is a view that does nothing.
#include "model/SystemClock.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteEditor.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/EngineSetup.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace vantrel;

namespace {

class NullView : public MonitorView {
public:
    int marked = -1;
    void gather() override {}
    void show() override {}
    MessageAnswer messageBox(const std::string&, const std::string&, MessageButtons, MessageIcon) override {
        return MessageAnswer::Yes;
    }
    void setMonitorButtonCaption(const std::string&) override {}
    void setWindowCaption(const std::string&) override {}
    void setCheckTimer(std::chrono::milliseconds) override {}
    void minimizeWindow() override {}
    void enableToolTips(bool) override {}
    void autoSizeColumns() override {}
    int markedRow() const override { return marked; }
    void showTrayOn() override {}
    void showTrayOff() override {}
    void showTrayAlert() override {}
    void setOffline(bool) override {}
};

// n sites whose titles and URLs are in two unrelated random orders, so that
// sorting by one column scrambles the other.
void fill(SiteMonitor& engine, int n) {
    std::vector<SiteEntry> rows;
    std::vector<int> a(static_cast<size_t>(n));
    std::iota(a.begin(), a.end(), 0);
    std::vector<int> b = a;
    std::mt19937 rng(42);
    std::shuffle(a.begin(), a.end(), rng);
    std::shuffle(b.begin(), b.end(), rng);
    for (size_t i = 0; i < a.size(); ++i) {
        SiteEntry e;
        e.title = "Site number " + std::to_string(a[i]);
        e.url = "http://host" + std::to_string(b[i]) + ".example.test/some/path/index.html";
        e.testString = "Welcome";
        e.action = "URL / Sound";
        e.createDate = "01 Jan 2026";
        e.checkDate = "08 Dec 2026 01:23:45";
        e.status = (i % 3) ? "OK" : "404";
        rows.push_back(e);
    }
    vantrel::test::addSites(engine, rows);
}

struct Fixture {
    explicit Fixture(int n) { fill(engine, n); }
    NullView view;
    SiteMonitor engine{view};
    SystemClock clock;
    SiteEditor editor{engine, clock};
};

void BM_SortByColumn(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    int column = 0;
    for (auto _ : state) {
        f.editor.SortByColumn(column); // titles, then URLs: every call sorts
        column = 1 - column;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SortByColumnAlreadySorted(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.editor.SortByColumn(0);
    for (auto _ : state)
        f.editor.SortByColumn(0); // ascending, so reversed; then sorted again
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_AddEntry(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    SiteEntry entry;
    entry.title = "A new site"; // no duplicate: the search reads every row
    entry.url = "http://new.example.test/";
    entry.action = "Sound";
    f.engine.setEntry(entry);
    for (auto _ : state) {
        f.editor.OnAdd();
        state.PauseTiming();
        f.engine.editSites(SiteListEdit{SiteListEdit::Kind::Remove, {}, 0});
        state.ResumeTiming();
    }
}

void BM_RemoveRow(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    f.view.marked = static_cast<int>(state.range(0) / 2); // the middle row: the most rows move
    for (auto _ : state) {
        f.editor.OnRemove();
        state.PauseTiming();
        vantrel::test::addSite(f.engine, f.engine.data().entry);
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_SortByColumn)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByColumnAlreadySorted)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddEntry)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RemoveRow)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
