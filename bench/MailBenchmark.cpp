// The time one report mail takes over loopback to a real SMTP server
// (aiosmtpd): the plain dialogue, STARTTLS with a login, and TLS from the
// first byte with a login. Each is measured without the dialogue's fixed
// pauses (the pump records them instead of waiting: network, TLS and the
// server's work alone), and once with them, as the program sends.
#include "model/SystemClock.h"
#include "notify/DirectEventPump.h"
#include "notify/SmtpMailer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/ScopedEnvVar.h"
#include "tests/support/SmtpServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kSends = 30;

double seconds(Steady::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Figures {
    double median = 0, best = 0, withPauses = 0;
    bool ok = true;
};

Figures measure(const MailSubmission& submission, const std::string& server) {
    SystemClock clock;
    RecordingEventPump noPauses;
    SmtpMailer mailer(SmtpMailer::kBufferSize, noPauses, clock);
    mailer.setSubmission(submission);
    std::vector<double> times;
    Figures f;
    for (int i = 0; i < kSends; ++i) {
        const auto start = Steady::now();
        f.ok &= mailer.sendMail("ops@example.org", "\r\nSite down\r\n", "ops@example.org", server, "Bench");
        times.push_back(seconds(Steady::now() - start));
    }
    std::sort(times.begin(), times.end());
    f.median = times[times.size() / 2];
    f.best = times.front();

    DirectEventPump realPauses;
    SmtpMailer paced(SmtpMailer::kBufferSize, realPauses, clock);
    paced.setSubmission(submission);
    const auto start = Steady::now();
    f.ok &= paced.sendMail("ops@example.org", "\r\nSite down\r\n", "ops@example.org", server, "Bench");
    f.withPauses = seconds(Steady::now() - start);
    if (!f.ok)
        std::printf("  failed: %s\n", mailer.errorText.c_str());
    return f;
}

} // namespace

int main() {
    if (SmtpServerProcess::python().empty()) {
        std::printf("skipped: python3-aiosmtpd is not installed\n");
        return 0;
    }
    TempDir dir;
    TestCertificates certs(dir.path());
    if (!certs.made()) {
        std::printf("skipped: the test certificates could not be made\n");
        return 0;
    }
    ScopedEnvVar trust("SSL_CERT_FILE", certs.caFile().c_str());
    auto options = [&](const char* security, bool login) {
        SmtpServerProcess::Options o;
        o.security = security;
        o.cert = certs.server().cert;
        o.key = certs.server().key;
        if (login)
            o.login = "ops:s3cret";
        return o;
    };
    const std::string plainDir = dir.path() + "/plain", startTlsDir = dir.path() + "/starttls",
                      tlsDir = dir.path() + "/tls";
    for (const std::string& d : {plainDir, startTlsDir, tlsDir})
        std::filesystem::create_directories(d);
    SmtpServerProcess plain(plainDir, options("none", false));
    SmtpServerProcess startTls(startTlsDir, options("starttls", true));
    SmtpServerProcess tls(tlsDir, options("tls", true));
    if (!plain.ready() || !startTls.ready() || !tls.ready()) {
        std::printf("skipped: a server did not start\n");
        return 0;
    }

    const Figures p = measure(MailSubmission{}, plain.address());
    const Figures s = measure({MailSecurity::StartTls, "ops", "s3cret"}, startTls.address("localhost"));
    const Figures t = measure({MailSecurity::Tls, "ops", "s3cret"}, tls.address());
    std::printf("sends per kind: %d (loopback, aiosmtpd)\n", kSends);
    std::printf("                         median     best   with the fixed pauses\n");
    std::printf("plain dialogue:        %6.1f ms %6.1f ms   %.3f s\n", p.median * 1e3, p.best * 1e3,
                p.withPauses);
    std::printf("STARTTLS + AUTH PLAIN: %6.1f ms %6.1f ms   %.3f s   median %.1fx plain\n", s.median * 1e3,
                s.best * 1e3, s.withPauses, s.median / p.median);
    std::printf("TLS + AUTH PLAIN:      %6.1f ms %6.1f ms   %.3f s   median %.1fx plain\n", t.median * 1e3,
                t.best * 1e3, t.withPauses, t.median / p.median);
    return p.ok && s.ok && t.ok ? 0 : 1;
}
