#include "tests/monitor/CheckPassFixture.h"
#include "tests/support/EngineSetup.h"

using namespace vantrel;
using namespace vantrel::test;

TEST_F(CheckPassTest, OfflinePassLogsButReportsNothingUntilTheNetworkIsBack) {
    // Two sites on a port nothing listens on yet, one on a port that stays
    // refused: every connect of the pass is refused.
    const int port = ChildProcess::freePort();
    const std::string back = "http://127.0.0.1:" + std::to_string(port);
    auto offlineSite = [&](const std::string& url, const std::string& title) {
        SiteEntry e = site("good", "Email / URL / Sound", "OK");
        e.title = title;
        e.url = url;
        return e;
    };
    const std::vector<SiteEntry> sites = {offlineSite(back + "/good", "A"), offlineSite(back + "/good2", "B"),
                                          offlineSite(refusedUrl, "C")};
    setSites(sites);
    engine.runCheckPass();
    const std::string stamp = DateText::dateTime(clock.now());
    EXPECT_EQ(TempDir::readFile("vantrel.log"), "\r\n" + stamp + " " + back + "/good 404\r\n" + stamp + " " +
                                                    back + "/good2 404\r\n" + stamp + " " + refusedUrl +
                                                    " 404");
    // The log says what the checks found; the rows keep the state they had.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(engine.sites().row(i).status, "OK");
        EXPECT_EQ(engine.sites().row(i).checkDate, stamp);
    }
    EXPECT_EQ(smtp.connections(), 0);
    EXPECT_TRUE(sound.played.empty());
    EXPECT_EQ(hookCalls(), 0);
    EXPECT_TRUE(view.offline);
    EXPECT_EQ(view.tray, (std::vector<std::string>{"on", "on", "on"}));

    // Still offline the next pass: still nothing.
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 0);
    EXPECT_TRUE(view.offline);

    // The network is back: the two sites answer and were fine before the
    // spell, so they mail no recovery; the third was fine and is down now,
    // so it reports.
    HttpTestServer returned(false, static_cast<std::uint16_t>(port));
    returned.route("/good", HttpTestServer::ok("Welcome"));
    returned.route("/good2", HttpTestServer::ok("Welcome"));
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_FALSE(view.offline);
    EXPECT_EQ(engine.sites().row(0).status, "OK");
    EXPECT_EQ(engine.sites().row(2).status, "404");
    ASSERT_EQ(smtp.connections(), 1);
    EXPECT_NE(smtp.received(0).find("Subject: Vantrel Error Report\r\n"), std::string::npos);
    EXPECT_NE(smtp.received(0).find(refusedUrl + " 404: 12029\r\n"), std::string::npos);
    EXPECT_EQ(sound.played.size(), 1u);
    EXPECT_EQ(hookCalls(), 2 + 1 + 1);
}

TEST_F(CheckPassTest, OfflineGuardOffOrTooFewSitesReportsEveryFailure) {
    auto refused = [&](const std::string& title) {
        SiteEntry e = site("refused", "Email / URL / Sound", "OK");
        e.title = title;
        return e;
    };
    // The guard off: three refused sites report as they always have.
    editExtra(engine, [&](ExtraSettings& x) { x.offlineGuard = false; });
    setSites({refused("A"), refused("B"), refused("C")});
    for (int k = 0; k < 3; ++k)
        smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 3);
    EXPECT_EQ(sound.played.size(), 3u);
    EXPECT_EQ(hookCalls(), 6);
    EXPECT_FALSE(view.offline);
    EXPECT_EQ(network.asked, 0);

    // The guard on, two sites only: not enough to call the machine offline.
    editExtra(engine, [&](ExtraSettings& x) { x.offlineGuard = true; });
    setSites({refused("A"), refused("B")});
    editSettings(engine, [&](Settings& s, ExtraSettings&) { s.everyError = "yes"; });
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 5);
    EXPECT_FALSE(view.offline);

    // No interface up: a site on this machine still reports, since its
    // failure is not the network's; the window says offline all the same.
    network.up = false;
    setSites({refused("A")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 6);
    EXPECT_TRUE(view.offline);
    network.up = true;
}

namespace {

// An https server on loopback whose certificate, signed by a CA made here,
// ends in three days.
class ShortLivedTlsServer {
public:
    explicit ShortLivedTlsServer(const std::string& dir) : dir_(dir) {
        const std::string d = dir + "/";
        const std::string openssl = "openssl";
        made_ =
            ChildProcess::run({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                               d + "ca.key", "-out", d + "ca.pem", "-days", "30", "-subj", "/CN=Test CA"}) &&
            ChildProcess::run({openssl, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "site.key",
                               "-out", d + "site.csr", "-subj", "/CN=127.0.0.1"}) &&
            writeExtensions(d + "site.ext") &&
            ChildProcess::run({openssl, "x509", "-req", "-in", d + "site.csr", "-CA", d + "ca.pem", "-CAkey",
                               d + "ca.key", "-CAcreateserial", "-out", d + "site.pem", "-days", "3",
                               "-extfile", d + "site.ext"});
        if (!made_)
            return;
        port_ = ChildProcess::freePort();
        const char* script = R"(import http.server, ssl, sys
class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"<html>Welcome, securely</html>"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Page)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
)";
        server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "python3", "-c", script, std::to_string(port_), d + "site.pem", d + "site.key"});
        made_ = ChildProcess::waitForPort(port_, std::chrono::seconds(20));
    }

    bool made() const { return made_; }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::string caFile() const { return dir_ + "/ca.pem"; }

private:
    static bool writeExtensions(const std::string& path) {
        TempDir::writeFile(path, "subjectAltName=IP:127.0.0.1\n");
        return true;
    }

    std::string dir_;
    bool made_ = false;
    int port_ = 0;
    std::unique_ptr<ChildProcess> server_;
};

} // namespace

TEST_F(CheckPassTest, CertificateEndingSoonWarnsOnceADay) {
    ShortLivedTlsServer tls(dir.path());
    ASSERT_TRUE(tls.made()) << "openssl and python3 make and serve the certificate";
    http.setCaFile(tls.caFile());

    // What the fetch records: the days left, a part of a day counting whole.
    const HttpResponse direct = http.perform(PageFetcher::requestFor(tls.url()));
    ASSERT_TRUE(direct.ok) << direct.errorNumber;
    EXPECT_EQ(direct.certDaysLeft, 3);
    EXPECT_EQ(http.perform(PageFetcher::requestFor(web.url("/good"))).certDaysLeft, -1); // not https

    clock.set(1796690625);
    SiteEntry secure = site("good", "Email", "OK");
    secure.url = tls.url();
    setSites({site("good", "Email", "OK"), secure});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    const std::string stamp = DateText::dateTime(clock.now());
    // The site is fine: status and log as for any good check.
    EXPECT_EQ(engine.sites().row(1).status, "OK");
    EXPECT_EQ(TempDir::readFile("vantrel.log"),
              "\r\n" + stamp + " " + web.url("/good") + " OK\r\n" + stamp + " " + tls.url() + " OK");
    ASSERT_EQ(smtp.connections(), 1);
    const std::string mail = smtp.received(0);
    EXPECT_NE(mail.find("Subject: Vantrel Certificate Warning\r\n"), std::string::npos) << mail;
    EXPECT_NE(
        mail.find("\r\n" + tls.url() + " Certificate ends in 3 days.\r\nVantrel Report " + stamp + "\r\n"),
        std::string::npos)
        << mail;
    EXPECT_EQ(view.certificates, std::vector<std::string>{"Site good " + tls.url() + " 3"});
    // The warning leaves the site's own report text as it was.
    EXPECT_EQ(engine.reportBody(), "\n" + tls.url() + " Service Restored.\nVantrel Report " + stamp + "\n");

    // The same day: no second warning. The next day: one more.
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 1);
    clock.set(1796690625 + 86400);
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 2);
    EXPECT_EQ(view.certificates.size(), 2u);

    // Warnings off.
    editExtra(engine, [&](ExtraSettings& x) { x.certWarnDays = 0; });
    clock.set(1796690625 + 2 * 86400);
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 2);
}

TEST_F(CheckPassTest, EachReportMailsOutcomeAndOneSummaryOfTheSitesThatChanged) {
    using P = SmtpTestPeer;
    setSites({site("good", "Email", "404"), site("changed", "Email", "OK"), site("refused", "Sound", "New"),
              site("good", "Sound", "New"), site("refused", "Sound", "404")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession({P::say("554 no mail today\r\n")});
    engine.runCheckPass();

    const std::string when = DateText::timeOfDay(clock.now());
    ASSERT_EQ(view.mailResults.size(), 2u);
    EXPECT_TRUE(view.mailResults[0].ok);
    EXPECT_EQ(view.mailResults[0].when, when);
    EXPECT_EQ(view.mailResults[0].errorText, "");
    EXPECT_FALSE(view.mailResults[1].ok);
    EXPECT_EQ(view.mailResults[1].errorText, engine.mailer().errorText);
    EXPECT_NE(view.mailResults[1].errorText.find("Flag: "), std::string::npos);

    // One summary at the end: the recovery, the failure after OK and the
    // failure of a new site; not a new site that is good, nor one still down.
    ASSERT_EQ(view.siteChangeSummaries.size(), 1u);
    const std::vector<SiteChange> expected = {
        {"Site good", web.url("/good"), "OK", true},
        {"Site changed", web.url("/changed"), "Bad - Test String text Not Found", false,
         "text \"Welcome\" not found"},
        {"Site refused", refusedUrl, "404", false, "connection refused or host unreachable"},
    };
    EXPECT_EQ(view.siteChangeSummaries[0], expected);

    // Nothing changes in the next pass: nothing is announced. Whether
    // notifications are on is the sink's to decide, not the engine's.
    engine.runCheckPass();
    EXPECT_EQ(view.siteChangeSummaries.size(), 1u);
    editExtra(engine, [&](ExtraSettings& x) { x.notifications = false; });
    setSites({site("refused", "Sound", "OK")});
    engine.runCheckPass();
    EXPECT_EQ(view.siteChangeSummaries.size(), 2u);
}

// Preferences' test goes through the reports' mailer on terms of its own:
// one run at a safe point of a pass (the pump hands it over between two
// replies of a report) and the report keep their outcomes apart, and a tick
// that comes while a test waits outside a pass starts no pass there.
TEST_F(CheckPassTest, ATestMailKeepsItsOwnOutcomeAndATickDuringItWaitsForItsEnd) {
    using P = SmtpTestPeer;
    SmtpTestPeer testPeer;
    testPeer.addSession(SmtpTestPeer::acceptingSession());
    testPeer.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession({P::say("220 hi\r\n"), P::hear(), P::say("250 hello\r\n"), P::hear(),
                     P::say("250 ok\r\n"), P::hear(), P::say("550 no such user\r\n")});
    setSites({site("changed", "Email", "OK")});
    SmtpSend during;
    bool tested = false;
    pump.onDispatch = [&] {
        if (engine.passRunning() && smtp.connections() == 1 && !std::exchange(tested, true))
            during = engine.sendTestMail("me@example.test", testPeer.hostPort(), {});
    };
    engine.runCheckPass();
    EXPECT_TRUE(during.sent()) << during.errorText;
    EXPECT_EQ(during.errorText, "");
    EXPECT_EQ(during.replyReadSize, SiteMonitor::kTestReplyReadSize);
    EXPECT_NE(testPeer.received(0).find("\r\nSubject: Vantrel Test Email\r\nTo: me@example.test\r\n"),
              std::string::npos);
    const std::string refused = "ERR-20001: Error While Communicating with Server.  Message From Server: "
                                "550 no such user\r\n Flag: 62";
    ASSERT_EQ(view.mailResults.size(), 1u);
    EXPECT_EQ(view.mailResults[0].errorText, refused);
    EXPECT_EQ(engine.mailer().errorText, refused);
    EXPECT_FALSE(engine.passDueAfterTest()); // ticks inside a pass are the pass's

    const size_t fetched = web.requests().size();
    pump.onDispatch = [&] { engine.onTimer(); };
    EXPECT_TRUE(engine.sendTestMail("me@example.test", testPeer.hostPort(), {}).sent());
    EXPECT_EQ(web.requests().size(), fetched);
    EXPECT_TRUE(engine.passDueAfterTest());
    pump.onDispatch = nullptr;
    engine.onTimer();
    EXPECT_FALSE(engine.passDueAfterTest());
    EXPECT_GT(web.requests().size(), fetched);
    EXPECT_EQ(engine.mailer().errorText, refused);
}
