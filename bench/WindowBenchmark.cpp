// The real main window (offscreen) with 10,000 sites: start-up with the
// load, an Add and a Remove, and a column sort, each with its repaint and
// column sizing.
#include "app/SiteMonitorDlg.h"
#include "model/SiteListFile.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <benchmark/benchmark.h>

using namespace vantrel;

namespace {

constexpr int kSites = 10000;

void writeSites() {
    SiteList list;
    for (int i = 0; i < kSites; ++i) {
        SiteEntry e{"Site number " + std::to_string(i), "http://host" + std::to_string(i) + ".example.test/index.html",
                    "Welcome", "Sound", "", "01 Jan 2026", "08 Dec 2026 01:23:45", i % 3 ? "OK" : "404"};
        list.insertAtTop(e);
    }
    test::TempDir::writeFile("vantrel.dat", SiteListFile::serialize(list));
    test::TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
}

void settle() { QCoreApplication::processEvents(); }

void BM_StartWith10000Sites(benchmark::State& state) {
    test::TempDir dir;
    writeSites();
    for (auto _ : state) {
        CSiteMonitorDlg dlg;
        dlg.OnInitDialog();
        settle();
        benchmark::DoNotOptimize(dlg.listView()->model()->rowCount());
        state.PauseTiming();
        vantrel::test::setSites(dlg.engine(), {}); // keep the file as it is when the window closes
        state.ResumeTiming();
    }
}

void BM_AddAndRemoveIn10000(benchmark::State& state) {
    test::TempDir dir;
    writeSites();
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    settle();
    int n = 0;
    for (auto _ : state) {
        dlg.engine().setEntry(SiteEntry{"Added " + std::to_string(n++), "http://added.example.test/", "",
                                        "Sound", "", "", "", ""});
        dlg.show();
        dlg.OnAdd();
        settle();
        dlg.listView()->setCurrentIndex(dlg.listView()->model()->index(0, 0));
        dlg.OnRemove();
        settle();
    }
    if (dlg.engine().sites().rowCount() != kSites)
        state.SkipWithError("row count changed");
}

void BM_SortColumnIn10000(benchmark::State& state) {
    test::TempDir dir;
    writeSites();
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    settle();
    int column = 0;
    for (auto _ : state) {
        dlg.OnColumnClick(column);
        settle();
        column = (column + 1) % 8;
    }
}

} // namespace

BENCHMARK(BM_StartWith10000Sites)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddAndRemoveIn10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortColumnIn10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
