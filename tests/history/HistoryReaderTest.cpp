#include "history/HistoryReader.h"
#include "history/SqliteCheckHistory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HeldHistoryWriter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr std::time_t kHour = 3600;

// What a reader hands over, collected for the test.
struct Answers {
    std::mutex mutex;
    std::condition_variable came;
    std::vector<std::pair<long long, HistoryPanelData>> got;

    HistoryReader::Answer sink() {
        return [this](long long number, HistoryPanelData data) {
            std::lock_guard<std::mutex> lock(mutex);
            got.emplace_back(number, std::move(data));
            came.notify_all();
        };
    }
    bool waitFor(long long number) {
        std::unique_lock<std::mutex> lock(mutex);
        return came.wait_for(lock, std::chrono::seconds(10),
                             [&] { return !got.empty() && got.back().first == number; });
    }
};

// Two days of checks of one site every ten minutes, a failed hour and an
// hour not monitored, written and closed.
std::shared_ptr<SqliteCheckHistory> filledHistory(FakeClock& clock) {
    auto h = std::make_shared<SqliteCheckHistory>(SqliteCheckHistory::kFileName, 90, 1024LL << 20, clock);
    const std::time_t now = clock.now();
    for (std::time_t t = now - 48 * kHour; t <= now; t += 600) {
        CheckRecord c;
        c.time = t;
        c.url = "http://a.test/";
        c.title = "A";
        const bool failed = t > now - 30 * kHour && t <= now - 29 * kHour;
        c.outcome = failed ? CheckRecord::kNotFetched : CheckRecord::kGood;
        c.status = failed ? "503" : (t % 7 == 0 ? "Slow" : "OK");
        c.totalMs = failed ? -1 : static_cast<int>(100 + t % 400);
        h->recordCheck(c);
    }
    h->recordUnmonitored(now - 10 * kHour, now - 9 * kHour, "asleep");
    EXPECT_TRUE(h->flush());
    return h;
}

// The reader's data is the writer's: figures, incidents, points and gaps.
void expectSame(const HistoryPanelData& a, const HistoryPanelData& b) {
    ASSERT_TRUE(a.available && b.available) << a.problem << b.problem;
    auto figures = [](const HistoryPanelData& d) {
        std::vector<double> f{d.summary.uptime24h,    d.summary.uptime30d,       d.summary.averageMs,
                              d.summary.p95Ms,        double(d.figures.checks),  double(d.figures.failures),
                              double(d.figures.slow), double(d.stretches.size())};
        for (const Incident& i : d.summary.incidents)
            f.push_back(double(i.status.size()));
        for (const SeriesPoint& p : d.points)
            f.insert(f.end(), {double(p.time), double(p.totalMs), double(p.failed)});
        return f;
    };
    EXPECT_EQ(figures(a), figures(b));
}

} // namespace

// The reader reads the file beside a writer that holds its own connection
// in a long transaction, and answers as the writer's own queries would.
TEST(HistoryReader, AnswersBesideABusyWriterAsTheWriterWould) {
    TempDir dir;
    FakeClock clock;
    auto writer = filledHistory(clock);
    const HistoryPanelRequest week{"http://a.test/", "A", clock.now(), 7 * 24 * kHour};
    const HistoryPanelData direct = HistoryPanelData::read(*writer, week);
    ASSERT_EQ(direct.summary.incidents.size(), 1u);
    EXPECT_EQ(direct.summary.incidents[0].status, "503");
    EXPECT_EQ(direct.stretches.size(), 1u);

    Answers answers;
    HistoryReader reader(SqliteCheckHistory::kFileName, writer, answers.sink());
    HeldHistoryWriter held(*writer);
    const auto asked = std::chrono::steady_clock::now();
    const long long number = reader.ask(week);
    ASSERT_TRUE(answers.waitFor(number));
    // Not behind the held transaction: the writer's thread is waited for
    // only as long as a panel query gives it, not an export's 5 s.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(4));
    expectSame(answers.got.back().second, direct);
    held.release();

    // What the writer wrote since, a verdict and a stretch new to the
    // reader's connection among it, is in the next answer.
    CheckRecord late;
    late.time = clock.now() - 60;
    late.url = "http://a.test/";
    late.title = "A";
    late.status = "Timed out";
    writer->recordCheck(late);
    writer->recordUnmonitored(clock.now() - 3 * kHour, clock.now() - 2 * kHour, "offline");
    ASSERT_TRUE(writer->flush());
    const long long again = reader.ask(week);
    ASSERT_TRUE(answers.waitFor(again));
    expectSame(answers.got.back().second, HistoryPanelData::read(*writer, week));
    EXPECT_EQ(answers.got.back().second.summary.incidents.at(0).status, "Timed out");
    EXPECT_EQ(answers.got.back().second.stretches.size(), 2u);
}

// Requests asked while a query runs: the newest wins, and the overtaken
// answers never come. A reader ended in the middle of a job stops at once
// and hands nothing over.
TEST(HistoryReader, NewestRequestWinsAndStopIsBounded) {
    TempDir dir;
    FakeClock clock;
    auto writer = filledHistory(clock);
    Answers answers;
    auto reader = std::make_unique<HistoryReader>(SqliteCheckHistory::kFileName, writer, answers.sink());
    // Each query first waits its while for the held writer's thread.
    HeldHistoryWriter held(*writer);
    reader->ask({"http://a.test/", "A", clock.now(), kHour});
    // The first is under way (waiting for the writer) when the next two come.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    reader->ask({"http://a.test/", "A", clock.now(), 24 * kHour});
    const long long last = reader->ask({"http://a.test/", "A", clock.now(), 7 * 24 * kHour});
    ASSERT_TRUE(answers.waitFor(last));
    ASSERT_EQ(answers.got.size(), 1u);
    EXPECT_EQ(answers.got[0].second.request.span, 7 * 24 * kHour);

    // An export waits for the held writer for up to seconds: the end of the
    // reader cuts that short, joins its thread and writes nothing.
    bool told = false;
    reader->exportCsv({}, {}, "all.csv", [&told](bool) { told = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto stopping = std::chrono::steady_clock::now();
    reader.reset();
    // Within the 2 s after which a reader is left to end alone.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(1500));
    EXPECT_FALSE(told);
    EXPECT_FALSE(TempDir::exists("all.csv"));
    std::lock_guard<std::mutex> lock(answers.mutex);
    EXPECT_EQ(answers.got.size(), 1u);
}
