#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "notify/MailSubmission.h"
#include "notify/SmtpExtensions.h"
#include "notify/SmtpSend.h"
#include "notify/SmtpServerAddress.h"

namespace vantrel {

class Clock;
class EventPump;
class SmtpConnection;

// Sends one plain-text message to one recipient over one SMTP connection.
//
// With the default submission (MailSubmission::plain: no protection, no
// login) the dialogue is the plain one: greeting, HELO, MAIL FROM, RCPT,
// DATA, the message text, QUIT, each reply judged on what one read brings.
// Otherwise it is the extended one, run as a sequence of states: for
// STARTTLS the greeting, EHLO, STARTTLS (only when the server offers it),
// the TLS handshake, EHLO again; for TLS the handshake first, then the
// greeting and EHLO; then the login (AUTH PLAIN or AUTH LOGIN, as the server
// offers them over the protected connection), MAIL FROM, RCPT, DATA, the
// message text and QUIT. Its replies are read whole, multi-line ones
// included, up to kBufferSize bytes. A login is never sent unencrypted.
//
// Both keep the fixed pauses (100 ms before the connection, 200 ms before
// each connection retry, 100 ms before the greeting, 100 ms before each
// command and again before its reply: about 1.4 s per plain message), and
// take one queued window message through EventPump::dispatchOne at the start
// and after each accepted reply. Every socket call runs through
// EventPump::runBlocking and every wait is bounded by `Timeouts`. A stop
// requested through the pump ends the send at its next step or wait with
// 10004 (a blocking call interrupted).
//
// A send that fails leaves `lastError` (a Windows Sockets code, or one of
// the mailer's own codes of SocketErrorText) and `errorText` (its text
// followed by " Flag: " and `stepFlag`): in the mailer's own fields, or in
// the caller's SmtpSend when it brings one, which leaves the mailer's as
// they were.
class SmtpMailer {
public:
    struct Timeouts {
        // Resolving the server's name and connecting, together.
        std::chrono::milliseconds connect{std::chrono::seconds(60)};
        // For each reply (from its first to its last byte) and each command
        // sent. One minute is below every client timeout of RFC 5321 and keeps
        // a dead server from holding up a check pass for long. A TLS
        // handshake, from its first to its last message, has the same bound.
        std::chrono::milliseconds reply{std::chrono::seconds(60)};
    };

    using ServerAddress = SmtpServerAddress;

    // The largest greeting, and the largest reply in any instance.
    static constexpr std::size_t kBufferSize = 13000;
    static constexpr std::uint16_t kDefaultPort = 25;
    static constexpr std::uint16_t kStartTlsPort = 587;
    static constexpr std::uint16_t kTlsPort = 465;

    // Step flags: where a failed send stopped.
    static constexpr int kStepConnectRetry = 1;
    static constexpr int kStepGreeting = 2;
    static constexpr int kStepGreetingRead = 3;
    static constexpr int kStepHelo = 4;
    static constexpr int kStepMailFrom = 5;
    static constexpr int kStepRcpt = 62;
    static constexpr int kStepData = 7;
    static constexpr int kStepMessage = 8;
    static constexpr int kStepQuit = 9;
    // Steps of the extended dialogue only. Both EHLO share one flag.
    static constexpr int kStepEhlo = 10;
    static constexpr int kStepStartTls = 11;
    static constexpr int kStepTlsHandshake = 12;
    static constexpr int kStepLogin = 13;

    // `replyReadSize`: the most bytes one reply of the mailer's own sends may
    // take (1024 for the report mails); the rest of a longer reply is read as
    // the next reply.
    SmtpMailer(std::size_t replyReadSize, EventPump& pump, Clock& clock);
    SmtpMailer(std::size_t replyReadSize, EventPump& pump, Clock& clock, Timeouts timeouts);

    // `server` is a host name or address, optionally followed by ":port".
    bool sendMail(const std::string& recipient, const std::string& body, const std::string& sender,
                  const std::string& server, const std::string& subject);
    // The same on the terms of `send` (its reply size, submission and sender
    // name), leaving the outcome there; the mailer's own fields and terms
    // stay as they were.
    bool sendMail(SmtpSend& send, const std::string& recipient, const std::string& body,
                  const std::string& sender, const std::string& server, const std::string& subject);

    // Sends one command line of the send in progress and reads its reply;
    // true when the reply begins with `expected` (ignoring case), or with
    // anything when `expected` is empty.
    bool exchange(const std::string& line, const std::string& expected = {});

    std::size_t replyReadSize() const { return replyReadSize_; }

    // The protection and login of later sends; the default is the plain
    // dialogue.
    void setSubmission(MailSubmission submission) { submission_ = std::move(submission); }
    const MailSubmission& submission() const { return submission_; }
    // The sender's display name in the From line of a secured submission.
    void setSenderName(std::string name) { senderName_ = std::move(name); }

    // "host:port", "[v6-address]:port" or a plain host, which means
    // `defaultPort`.
    static ServerAddress splitServer(const std::string& server, std::uint16_t defaultPort = kDefaultPort) {
        return SmtpServerAddress::parse(server, defaultPort);
    }
    // 587 for STARTTLS, 465 for TLS, 25 otherwise.
    static std::uint16_t defaultPort(MailSecurity security);

    // For a failure before the login: the mode a port usually wants when
    // `security` is the other one (TLS spoken to 587, STARTTLS to 465), as
    // a sentence after the error text; empty otherwise.
    static std::string portHint(MailSecurity security, std::uint16_t port, int stepFlag);

    int lastError = 0;
    std::string lastReply;
    std::string errorText;
    int stepFlag = 0;

private:
    struct Envelope {
        const std::string& recipient;
        const std::string& body;
        const std::string& sender;
        const std::string& subject;
    };
    // The steps of the extended dialogue, in the order they can run.
    enum class State {
        Connect,
        TlsHandshake,
        Greeting,
        Ehlo,
        StartTls,
        StartTlsHandshake,
        EhloAgain,
        Login,
        MailFrom,
        Rcpt,
        Data,
        Message,
        Quit,
        Done,
        Failed,
    };

    bool run(const std::string& recipient, const std::string& body, const std::string& sender,
             const std::string& server, const std::string& subject);
    void runSteps(const std::string& recipient, const std::string& body, const std::string& sender,
                  const std::string& server, const std::string& subject);
    void runExtended(const Envelope& mail, const std::string& server);
    State advance(State state, const ServerAddress& address, const Envelope& mail);
    State handshake(const ServerAddress& address, State next);
    State login();
    int connect(const ServerAddress& address);
    bool talk(const std::string& line, const std::string& expected, bool wholeReply);
    // The extended dialogue's command and reply: the reply is read whole and
    // must carry the three-digit `code`; on failure `flag` is the step.
    bool command(const std::string& line, const char* code, int flag);
    State fail(int error, int flag);
    std::string messageText(const std::string& recipient, const std::string& body, const std::string& sender,
                            const std::string& subject) const;
    bool finish();

    std::size_t replyReadSize_;
    EventPump& pump_;
    Clock& clock_;
    Timeouts timeouts_;
    MailSubmission submission_;
    // The terms and outcome of the send in progress.
    SmtpSend* send_ = nullptr;
    // The connection of the send in progress. A send started from a message
    // dispatched inside another send brings its own and puts the outer one
    // back when it ends.
    SmtpConnection* connection_ = nullptr;
    // The extended dialogue's state: the server's answer to the latest EHLO,
    // and why TLS failed.
    SmtpExtensions extensions_;
    std::string tlsReason_;
    std::uint16_t port_ = 0; // the extended dialogue's server port
    std::string senderName_;
};

} // namespace vantrel
