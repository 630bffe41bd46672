// The cost of the network channels: a page fetch of 1 MB from a loopback
// server, next to the curl command line fetching the same URL, and the cost
// of one mail through a scripted SMTP server, with and without the mailer's
// fixed pauses.
#include "monitor/PageFetcher.h"
#include "notify/DirectEventPump.h"
#include "notify/SmtpMailer.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace vantrel;
using test::HttpTestServer;
using test::SmtpTestPeer;

namespace {

constexpr std::size_t kPageBytes = 1024 * 1024;

std::string page() {
    std::string body(kPageBytes, 'a');
    for (std::size_t i = 0; i < body.size(); i += 61)
        body[i] = '\n';
    return body;
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// curl's own measure of the transfer (without its start-up), or -1.
double curlSeconds(const std::string& url) {
    const std::string command = "curl -s -o /dev/null -w '%{time_total}' '" + url + "'";
    std::FILE* out = ::popen(command.c_str(), "r");
    if (!out)
        return -1;
    char text[64] = {};
    std::size_t n = std::fread(text, 1, sizeof text - 1, out);
    text[n] = '\0';
    return ::pclose(out) == 0 ? std::atof(text) : -1;
}

void BM_FetchPage1MB(benchmark::State& state) {
    HttpTestServer server;
    server.route("/page", HttpTestServer::ok(page()));
    CurlHttpClient http;
    DirectEventPump pump;
    PageFetcher fetcher(http, pump);
    for (auto _ : state) {
        if (!fetcher.fetchPage(server.url("/page")) || fetcher.pageText.size() != kPageBytes)
            state.SkipWithError("fetch failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPageBytes));
}
BENCHMARK(BM_FetchPage1MB)->Unit(benchmark::kMillisecond);

// Alternates one fetch of ours with one `curl -s -o /dev/null` of the same
// URL; the time shown is ours, `ratio` is ours over curl's transfer time.
void BM_FetchPageVsCurl(benchmark::State& state) {
    HttpTestServer server;
    server.route("/page", HttpTestServer::ok(page()));
    const std::string url = server.url("/page");
    CurlHttpClient http;
    DirectEventPump pump;
    PageFetcher fetcher(http, pump);
    double ours = 0;
    double theirs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        fetcher.fetchPage(url);
        const double mine = seconds(std::chrono::steady_clock::now() - start);
        const double curl = curlSeconds(url);
        if (curl < 0) {
            state.SkipWithError("the curl command is not available");
            break;
        }
        ours += mine;
        theirs += curl;
        state.SetIterationTime(mine);
    }
    if (theirs > 0) {
        state.counters["curl_ms"] = theirs * 1000 / static_cast<double>(state.iterations());
        state.counters["ratio"] = ours / theirs;
    }
}
BENCHMARK(BM_FetchPageVsCurl)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

std::vector<SmtpTestPeer::Step> acceptingSession() {
    using P = SmtpTestPeer;
    return {P::say("220 ready\r\n"), P::hear(),     P::say("250 hello\r\n"),  P::hear(),
            P::say("250 ok\r\n"),    P::hear(),     P::say("250 ok\r\n"),     P::hear(),
            P::say("354 go\r\n"),    P::hearData(), P::say("250 queued\r\n"), P::hear(),
            P::say("221 bye\r\n")};
}

void sendMails(benchmark::State& state, EventPump& pump) {
    SmtpTestPeer peer;
    test::FakeClock clock;
    SmtpMailer mailer(1024, pump, clock);
    const std::string body = "\r\n" + std::string(2000, 'r') + "\r\n";
    for (auto _ : state) {
        state.PauseTiming();
        peer.addSession(acceptingSession());
        state.ResumeTiming();
        if (!mailer.sendMail("ops@example.org", body, "ops@example.org", peer.hostPort(),
                             "Vantrel Error Report"))
            state.SkipWithError("send failed");
    }
}

void BM_SmtpSendMail(benchmark::State& state) {
    DirectEventPump pump;
    sendMails(state, pump);
}
BENCHMARK(BM_SmtpSendMail)->Iterations(5)->Unit(benchmark::kMillisecond);

// The same without the fixed pauses: what the mailer costs besides them.
void BM_SmtpSendMailWithoutPauses(benchmark::State& state) {
    test::RecordingEventPump pump;
    sendMails(state, pump);
}
BENCHMARK(BM_SmtpSendMailWithoutPauses)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
