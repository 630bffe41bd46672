// Fuzzes how the mailer takes the server's replies, over a real loopback
// connection to an in-process server that plays the input as its side of
// the dialogue. Input: one byte of flags (bit 0: the preferences' 13000-byte
// read size instead of 1024; bit 1: STARTTLS with a login instead of the
// plain dialogue), the lengths of the address and of the body, the address
// (sender and recipient), the body, then everything the server sends.
//
// With STARTTLS, whatever the server sends: the only line sent in the clear
// is EHLO and then at most STARTTLS, never the login, the password or the
// message (the server cannot complete a handshake the certificate check
// accepts), and the send fails at one of the steps before the login.
//
// Whatever the server sends: the send ends without waiting on a timeout
// (the server half-closes), the command lines are exactly the fixed ones
// with the address in them, the message text ends at its own terminating
// line and nowhere before (not even for a server that takes a bare CR or LF
// for a line end), and a failure leaves its code, step and text.
#include "fuzz/FuzzCheck.h"
#include "fuzz/InProcessSmtpServer.h"
#include "fuzz/ServingEventPump.h"
#include "model/SystemClock.h"
#include "notify/SmtpMailer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using vantrel::SmtpMailer;
using vantrel::fuzz::FuzzCheck;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vantrel::fuzz::InProcessSmtpServer server;
    static vantrel::SystemClock clock;

    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto take = [&input](std::size_t n) {
        std::string_view piece = input.substr(0, std::min(n, input.size()));
        input.remove_prefix(piece.size());
        return std::string(piece);
    };
    const std::string head = take(3);
    const unsigned flags = head.size() > 0 ? static_cast<unsigned char>(head[0]) : 0;
    const std::size_t addressLength = head.size() > 1 ? static_cast<unsigned char>(head[1]) % 64 : 0;
    const std::size_t bodyLength = head.size() > 2 ? static_cast<unsigned char>(head[2]) : 0;
    const std::string address = take(addressLength);
    const std::string body = take(bodyLength);
    server.setScript(input);

    const std::size_t readSize = (flags & 1) ? SmtpMailer::kBufferSize : 1024;
    vantrel::fuzz::ServingEventPump pump(server);
    // Generous limits: the server half-closes, so none is ever reached.
    SmtpMailer mailer(readSize, pump, clock, {std::chrono::seconds(10), std::chrono::seconds(10)});
    const bool startTls = (flags & 2) != 0;
    const std::string password = "fuzz-password";
    if (startTls)
        mailer.setSubmission({vantrel::MailSecurity::StartTls, "fuzz", password});
    const bool ok = mailer.sendMail(address, body, address, server.address(), "Vantrel Error Report");
    const bool connected = server.connected();
    const std::string sent = server.finish();

    if (address.find_first_of("\r\n") != std::string::npos) {
        FuzzCheck::require(!ok && mailer.stepFlag == 0 && !connected,
                           "a line break in the address is refused");
        return 0;
    }
    FuzzCheck::require(connected, "the mailer connects");
    if (startTls) {
        FuzzCheck::require(!ok, "no send succeeds without a trusted handshake");
        static const int kBeforeLogin[] = {2, 3, 10, 11, 12};
        FuzzCheck::require(std::find(std::begin(kBeforeLogin), std::end(kBeforeLogin), mailer.stepFlag) !=
                               std::end(kBeforeLogin),
                           "the send ends before the login");
        const std::string clear = "EHLO [127.0.0.1]\r\nSTARTTLS\r\n";
        const std::size_t lines = std::min(sent.size(), clear.size());
        FuzzCheck::require(sent.compare(0, lines, clear, 0, lines) == 0,
                           "only EHLO and STARTTLS in the clear");
        if (sent.size() > clear.size())
            FuzzCheck::require(sent[clear.size()] == '\x16', "what follows STARTTLS is a TLS handshake");
        for (const std::string& secret : {std::string("AUTH"), password, std::string("MAIL FROM")})
            FuzzCheck::require(sent.find(secret) == std::string::npos, "no login and no mail in the clear");
        return 0;
    }
    FuzzCheck::require(ok == (mailer.lastError == 0), "true exactly when no error is left");
    FuzzCheck::require(mailer.lastReply.size() <= readSize, "a reply takes at most the read size");
    if (!ok) {
        static const int kFlags[] = {1, 2, 3, 4, 5, 62, 7, 8, 9};
        FuzzCheck::require(std::find(std::begin(kFlags), std::end(kFlags), mailer.stepFlag) !=
                               std::end(kFlags),
                           "a failed send names its step");
        FuzzCheck::require(mailer.errorText.ends_with(" Flag: " + std::to_string(mailer.stepFlag)),
                           "the error text ends with the step");
    }

    const std::string commands =
        "HELO 127.0.0.1 \r\nMAIL FROM: <" + address + ">\r\nRCPT to: <" + address + ">\r\nDATA\r\n";
    const std::size_t common = std::min(sent.size(), commands.size());
    FuzzCheck::require(sent.compare(0, common, commands, 0, common) == 0,
                       "the command lines are the fixed ones");
    if (sent.size() > commands.size()) {
        const std::string_view text = std::string_view(sent).substr(commands.size());
        FuzzCheck::require(text.starts_with("Date: "), "the message text begins with its Date line");
        const std::size_t end = text.find("\r\n.\r\n");
        FuzzCheck::require(end != std::string_view::npos, "the message text ends with its terminating line");
        for (const char* early : {"\r.\r", "\r.\n", "\n.\r", "\n.\n"})
            FuzzCheck::require(text.substr(0, end + 2).find(early) == std::string_view::npos,
                               "no bare line end ends the message text early");
        const std::string_view after = text.substr(end + 5);
        FuzzCheck::require(after.empty() || after == "QUIT \r\n",
                           "nothing but QUIT follows the message text");
        if (ok)
            FuzzCheck::require(after == "QUIT \r\n", "a send that succeeded has said QUIT");
    }
    return 0;
}
