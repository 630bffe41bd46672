#include "platform/CurlHttpClient.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedProxyEnvironment.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace vantrel;
using vantrel::test::ChildProcess;
using vantrel::test::ScopedProxyEnvironment;
using vantrel::test::SmtpTestPeer;
using vantrel::test::TempDir;

namespace {

HttpRequest requestFor(const std::string& url) {
    HttpRequest request;
    request.url = url;
    return request;
}

// openssl s_server on a free loopback port with cert.pem and key.pem of `dir`.
struct TlsServer {
    explicit TlsServer(const TempDir& dir)
        : process({"openssl", "s_server", "-quiet", "-www", "-accept", std::to_string(port), "-cert",
                   dir.path() + "/cert.pem", "-key", dir.path() + "/key.pem"}) {}
    bool up() const { return ChildProcess::waitForPort(port, std::chrono::seconds(10)); }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port) + "/"; }

    int port = ChildProcess::freePort();
    ChildProcess process;
};

class CurlCertificateTest : public ::testing::Test {
protected:
    ScopedProxyEnvironment environment;
    CurlHttpClient client{std::chrono::seconds(5), std::chrono::seconds(1)};
};

} // namespace

TEST_F(CurlCertificateTest, HttpsNeedsATrustedCertificate) {
    TempDir dir;
    if (!ChildProcess::run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem",
                            "-out", "cert.pem", "-days", "1", "-subj", "/CN=127.0.0.1"}))
        GTEST_SKIP() << "openssl cannot make a certificate here";
    const TlsServer tls(dir);
    ASSERT_TRUE(tls.up());

    HttpResponse selfSigned = client.perform(requestFor(tls.url()));
    EXPECT_FALSE(selfSigned.ok);
    EXPECT_EQ(selfSigned.errorNumber, 12045);
    EXPECT_EQ(selfSigned.certProblem, HttpResponse::CertProblem::SelfSigned);

    // A server that does not speak TLS at all.
    SmtpTestPeer plainText;
    plainText.addSession({SmtpTestPeer::say("220 not tls\r\n"), SmtpTestPeer::hangUp()});
    HttpResponse plain = client.perform(requestFor("https://" + plainText.hostPort() + "/"));
    EXPECT_FALSE(plain.ok);
    EXPECT_EQ(plain.errorNumber, 12157);
}

TEST_F(CurlCertificateTest, ARefusedCertificateIsNamedAndInsecureAcceptsIt) {
    TempDir dir;
    // Made five days ago: a CA for ten days, and a server certificate it
    // signed for two, which ended three days ago.
    auto past = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"faketime", "-f", "-5d", "openssl"});
        return ChildProcess::run(args);
    };
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    if (!past(with(
            {"req", "-x509", "-keyout", "ca.key", "-out", "ca.pem", "-days", "10", "-subj", "/CN=Test CA"},
            key)) ||
        !past(with({"req", "-keyout", "key.pem", "-out", "req.pem", "-subj", "/CN=127.0.0.1"}, key)) ||
        !past({"x509", "-req", "-in", "req.pem", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
               "-days", "2", "-out", "cert.pem"}))
        GTEST_SKIP() << "faketime and openssl cannot make an old certificate here";
    const TlsServer tls(dir);
    ASSERT_TRUE(tls.up());
    client.setCaFile(dir.path() + "/ca.pem");
    HttpRequest request = requestFor(tls.url());
    HttpResponse refused = client.perform(request);
    EXPECT_EQ(refused.errorNumber, 12045);
    EXPECT_EQ(refused.certProblem, HttpResponse::CertProblem::Expired);
    EXPECT_GE(refused.certDaysPastEnd, 2);
    EXPECT_LE(refused.certDaysPastEnd, 3);

    request.verifyCertificate = false;
    HttpResponse accepted = client.perform(request);
    EXPECT_TRUE(accepted.ok) << accepted.errorNumber;
    EXPECT_EQ(accepted.statusCode, 200);
}

TEST(CertificateDays, PartsOfADayCountAsAWholeOne) {
    const std::time_t noon = 1796817600; // 09 Dec 2026 12:00:00 UTC
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec 12 12:00:00 2026 GMT", noon), 3);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec 12 11:59:59 2026 GMT", noon), 3);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec 12 12:00:01 2026 GMT", noon), 4);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec  9 13:00:00 2026 GMT", noon), 1);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("Dec  1 00:00:00 2026 GMT", noon), 0);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("2027-12-09 12:00:00 GMT", noon), 365);
    EXPECT_EQ(CurlHttpClient::daysLeftUntil("not a date", noon), -1);
}
