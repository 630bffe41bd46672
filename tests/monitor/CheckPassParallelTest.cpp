#include "tests/monitor/CheckPassFixture.h"
#include "tests/support/EngineSetup.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// What a pass leaves behind that anyone can see, to compare two passes.
struct PassEffects {
    std::string log;
    std::vector<std::string> mails; // every SMTP session, byte for byte
    std::vector<std::string> rows;  // status and check date of each row
    std::vector<std::string> tray;
    std::vector<std::string> sounds;
    std::vector<std::string> boxes;
    int hookCalls = 0;
    std::string report;
    int checks = 0;
    bool operator==(const PassEffects&) const = default;
};

int countRequests(const HttpTestServer& server, const std::string& start) {
    int n = 0;
    for (const std::string& r : server.requests())
        n += r.rfind(start, 0) == 0;
    return n;
}

} // namespace

TEST_F(CheckPassTest, ParallelPassHasTheEffectsOfAOneAtATimePass) {
    HttpTestServer pages(true);
    pages.route("/hang", HttpTestServer::silent());
    pages.route("/good", HttpTestServer::ok("<html>Welcome home</html>"));
    pages.route("/changed", HttpTestServer::ok("<html>under maintenance</html>"));
    pages.route("/hook", HttpTestServer::ok("noted"));
    int made = 0;
    auto at = [&](const std::string& path, const std::string& action, const std::string& status) {
        SiteEntry e = site("good", action, status);
        e.title = "Site " + std::to_string(++made) + " " + path;
        e.url = path == "refused" ? refusedUrl : pages.url("/" + path);
        e.errorUrl = pages.url("/hook");
        return e;
    };
    std::vector<SiteEntry> sites = {at("hang", "Email / Sound", "OK"),
                                    at("good", "Email", "404"),
                                    at("hang", "URL", "New"),
                                    at("changed", "Email / URL", "OK"),
                                    at("refused", "Email / URL / Sound", "OK"),
                                    at("good", "URL", "OK"),
                                    at("hang", "Email", "404"),
                                    at("good", "Email / Sound", "New"),
                                    at("changed", "Sound", "Bad - Test String text Not Found"),
                                    at("hang", "Email / URL", "OK")};
    clock.set(1796690625);
    editSettings(engine, [&](Settings& s, ExtraSettings&) { s.email2 = "boss@example.test"; });
    editSettings(engine, [&](Settings& s, ExtraSettings&) { s.everyError = "yes"; });

    auto passWith = [&](int parallel) {
        SmtpTestPeer mail;
        for (int k = 0; k < 30; ++k)
            mail.addSession(SmtpTestPeer::acceptingSession());
        editSettings(engine, [&](Settings& s, ExtraSettings&) { s.smtpServer = mail.hostPort(); });
        editExtra(engine, [&](ExtraSettings& x) { x.parallelFetches = parallel; });
        setSites(sites);
        std::remove("vantrel.log");
        view.tray.clear();
        view.boxes.clear();
        sound.played.clear();
        editData(engine, [&](DialogData& d) { d.checkCount = 0; });
        view.show();
        const int hooksBefore = countRequests(pages, "GET /hook ");
        const auto start = std::chrono::steady_clock::now();
        engine.runCheckPass();
        const auto took = std::chrono::steady_clock::now() - start;
        std::cout << "[ time     ] " << parallel
                  << " at once: " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                  << " ms\n";

        PassEffects e;
        e.log = TempDir::readFile("vantrel.log");
        for (int k = 0; k < mail.connections(); ++k)
            e.mails.push_back(mail.received(static_cast<size_t>(k)));
        for (int i = 0; i < engine.sites().rowCount(); ++i)
            e.rows.push_back(engine.sites().row(i).status + " " + engine.sites().row(i).checkDate);
        e.tray = view.tray;
        e.sounds = sound.played;
        for (const auto& b : view.boxes)
            e.boxes.push_back(b.caption + ": " + b.text);
        e.hookCalls = countRequests(pages, "GET /hook ") - hooksBefore;
        e.report = engine.reportBody();
        e.checks = engine.data().checkCount;
        return e;
    };

    const PassEffects oneAtATime = passWith(1);
    const PassEffects parallel = passWith(8);
    EXPECT_EQ(parallel.log, oneAtATime.log);
    ASSERT_EQ(parallel.mails.size(), oneAtATime.mails.size());
    for (size_t k = 0; k < parallel.mails.size(); ++k)
        EXPECT_EQ(parallel.mails[k], oneAtATime.mails[k]) << "mail " << k;
    EXPECT_EQ(parallel, oneAtATime);
    // Judged while the later pages still download, as under the window.
    pump.alongsideOnWorker = true;
    const PassEffects beside = passWith(8);
    pump.alongsideOnWorker = false;
    EXPECT_EQ(beside.log, oneAtATime.log);
    EXPECT_EQ(beside, oneAtATime);

    // The one-at-a-time pass is today's: four hanging sites among ten; five
    // error reports and two recovery reports, each to two addresses.
    EXPECT_EQ(std::count(oneAtATime.log.begin(), oneAtATime.log.end(), '\n'), 10);
    EXPECT_NE(oneAtATime.log.find(pages.url("/hang") + " 404"), std::string::npos);
    EXPECT_EQ(oneAtATime.mails.size(), 2u * (4 + 1 + 1 + 1));
    EXPECT_EQ(oneAtATime.hookCalls, 2 + 2 + 2 + 1 + 2);
    EXPECT_EQ(oneAtATime.sounds.size(), 3u);
    EXPECT_EQ(oneAtATime.checks, 10);

    // Every failed check tried once more before it counts, judged beside
    // the downloads: the same effects as one site at a time, with a site
    // that fails once and answers the second time among them.
    editExtra(engine, [&](ExtraSettings& x) { x.confirmAttempts = 2; });
    sites = {at("flaky", "Email / Sound", "OK"), at("refused", "Email / URL / Sound", "OK"),
             at("good", "Email", "404"), at("changed", "Email / URL", "OK"), at("good", "URL", "OK")};
    auto confirmed = [&](int parallel) {
        pages.routeInTurn("/flaky", {HttpTestServer::reset(), HttpTestServer::ok("Welcome back")});
        pump.pauses.clear();
        pump.alongsideOnWorker = parallel > 1;
        PassEffects e = passWith(parallel);
        pump.alongsideOnWorker = false;
        return std::pair{e,
                         std::count(pump.pauses.begin(), pump.pauses.end(), std::chrono::milliseconds(3000))};
    };
    const auto [confirmedOne, onePauses] = confirmed(1);
    const auto [confirmedBeside, besidePauses] = confirmed(8);
    EXPECT_EQ(confirmedBeside.log, confirmedOne.log);
    EXPECT_EQ(confirmedBeside, confirmedOne);
    EXPECT_EQ(engine.sites().row(0).status, "OK");
    EXPECT_EQ(confirmedOne.mails.size(), 2u * (1 + 1 + 1));
    // One pause a failed site one at a time; one a round beside.
    EXPECT_EQ(onePauses, 3);
    EXPECT_EQ(besidePauses, 1);
}

TEST_F(CheckPassTest, LoginPageStandingInForEverySiteHoldsTheFailuresBack) {
    // Every site is sent to a login page on another host: the machine is
    // behind a captive portal, whichever way the pass downloads.
    HttpTestServer portal;
    portal.route("/login", HttpTestServer::ok("<form><input type=\"password\" name=\"p\"></form>"));
    const std::string login =
        "http://localhost:" + portal.hostPort().substr(portal.hostPort().rfind(':') + 1);
    web.route("/a", HttpTestServer::redirect(login + "/login"));
    web.route("/b", HttpTestServer::redirect(login + "/login"));
    web.route("/c", HttpTestServer::redirect(login + "/login"));
    for (bool beside : {false, true}) {
        SCOPED_TRACE(beside ? "beside the downloads" : "after the downloads");
        editExtra(engine, [&](ExtraSettings& x) { x.parallelFetches = 8; });
        editExtra(engine, [&](ExtraSettings& x) { x.confirmAttempts = beside ? 1 : 2; });
        pump.alongsideOnWorker = beside;
        setSites({site("a", "Email / URL / Sound", "OK"), site("b", "Email / Sound", "OK"),
                  site("c", "Email", "OK")});
        engine.runCheckPass();
        pump.alongsideOnWorker = false;
        EXPECT_TRUE(view.offline);
        EXPECT_EQ(smtp.connections(), 0);
        EXPECT_TRUE(sound.played.empty());
        EXPECT_EQ(hookCalls(), 0);
    }
}

TEST_F(CheckPassTest, ConfirmedFailureCountsOnlyTheLastAttempt) {
    for (int parallel : {1, 8}) {
        SCOPED_TRACE("parallel " + std::to_string(parallel));
        editExtra(engine, [&](ExtraSettings& x) { x.parallelFetches = parallel; });
        std::remove("vantrel.log");
        pump.pauses.clear();
        sound.played.clear();
        const int sessions = smtp.connections();
        // Reset once, then the page; the test string missing once, then there.
        web.routeInTurn("/flaky", {HttpTestServer::reset(), HttpTestServer::ok("<html>Welcome back</html>")});
        web.routeInTurn("/shaky",
                        {HttpTestServer::ok("<html>maintenance</html>"), HttpTestServer::ok("Welcome")});
        editExtra(engine, [&](ExtraSettings& x) { x.confirmAttempts = 3; });
        setSites({site("flaky", "Email / Sound", "OK"), site("shaky", "Email / Sound", "OK"),
                  site("refused", "Email / Sound", "OK")});
        smtp.addSession(SmtpTestPeer::acceptingSession());
        engine.runCheckPass();

        const std::string stamp = DateText::dateTime(clock.now());
        EXPECT_EQ(TempDir::readFile("vantrel.log"), "\r\n" + stamp + " " + web.url("/flaky") + " OK\r\n" +
                                                        stamp + " " + web.url("/shaky") + " OK\r\n" + stamp +
                                                        " " + refusedUrl + " 404");
        EXPECT_EQ(engine.sites().row(0).status, "OK");
        EXPECT_EQ(engine.sites().row(1).status, "OK");
        EXPECT_EQ(engine.sites().row(2).status, "404");
        // Only the site that failed every attempt reports, once.
        EXPECT_EQ(smtp.connections(), sessions + 1);
        EXPECT_NE(smtp.received(static_cast<size_t>(sessions)).find(refusedUrl + " 404: 12029\r\n"),
                  std::string::npos);
        EXPECT_EQ(sound.played.size(), 1u);
        // Three seconds between attempts: the ahead fetch retries all failed
        // sites together, one site at a time retries each on its own.
        const auto pause = std::chrono::milliseconds(3000);
        const auto pauses = std::count(pump.pauses.begin(), pump.pauses.end(), pause);
        EXPECT_EQ(pauses, parallel == 1 ? 1 + 1 + 2 : 2);

        // With one attempt, the first answer counts, as it always has.
        editExtra(engine, [&](ExtraSettings& x) { x.confirmAttempts = 1; });
        web.routeInTurn("/flaky", {HttpTestServer::reset(), HttpTestServer::ok("<html>Welcome back</html>")});
        setSites({site("flaky", "Sound", "OK")});
        engine.runCheckPass();
        EXPECT_EQ(engine.sites().row(0).status, "404");
    }
}

TEST_F(CheckPassTest, ManyHangingSitesKeepListOrder) {
    HttpTestServer pages(true);
    std::vector<SiteEntry> sites;
    std::string expected;
    clock.set(1796690625);
    const std::string stamp = DateText::dateTime(clock.now());
    for (int i = 0; i < 40; ++i) {
        const char* path = i % 3 == 1 ? "hang" : i % 5 == 0 ? "changed" : "good";
        SiteEntry e = site("good", "Sound", "OK");
        e.title = "Site " + std::to_string(i);
        const std::string target = std::string("/") + path + std::to_string(i);
        pages.route(target, i % 3 == 1   ? HttpTestServer::silent()
                            : i % 5 == 0 ? HttpTestServer::ok("<html>under maintenance</html>")
                                         : HttpTestServer::ok("<html>Welcome home</html>"));
        e.url = pages.url(target);
        sites.push_back(e);
        const std::string status = i % 3 == 1   ? "404"
                                   : i % 5 == 0 ? "Bad - Test String text Not Found"
                                                : "OK";
        expected += "\r\n" + stamp + " " + e.url + " " + status;
    }
    setSites(sites);
    editExtra(engine, [&](ExtraSettings& x) { x.parallelFetches = 4; });
    pump.alongsideOnWorker = true;
    engine.runCheckPass();
    pump.alongsideOnWorker = false;

    EXPECT_EQ(TempDir::readFile("vantrel.log"), expected);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(engine.sites().row(i).status, i % 3 == 1   ? "404"
                                                : i % 5 == 0 ? "Bad - Test String text Not Found"
                                                             : "OK")
            << i;
    // Every failed check plays its sound: 13 hanging and 6 without the text
    // (of the eight on a fifth, sites 10 and 25 hang).
    EXPECT_EQ(sound.played.size(), 13u + 6u);
    EXPECT_EQ(engine.data().checkCount, 40);
}
