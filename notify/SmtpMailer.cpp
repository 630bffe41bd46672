#include "notify/SmtpMailer.h"

#include "notify/MailMessage.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "notify/EventPump.h"
#include "notify/SmtpConnection.h"
#include "notify/SmtpExtensions.h"
#include "notify/SocketErrorText.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace vantrel {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kPause{100};
constexpr int kInvalidArgument = 10022;
constexpr int kPeerShutDown = 10101;

static_assert(TcpSocket::kTlsFailed == SocketErrorText::kSecureConnectionFailed);

bool hasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

// Wipes a command line that carried the login once it is sent.
void wipe(std::string& secret) {
    ::explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

} // namespace

SmtpMailer::SmtpMailer(std::size_t replyReadSize, EventPump& pump, Clock& clock)
    : SmtpMailer(replyReadSize, pump, clock, Timeouts{}) {}

SmtpMailer::SmtpMailer(std::size_t replyReadSize, EventPump& pump, Clock& clock, Timeouts timeouts)
    : replyReadSize_(std::clamp<std::size_t>(replyReadSize, 1, kBufferSize)), pump_(pump), clock_(clock),
      timeouts_(timeouts) {}

std::uint16_t SmtpMailer::defaultPort(MailSecurity security) {
    switch (security) {
    case MailSecurity::StartTls:
        return kStartTlsPort;
    case MailSecurity::Tls:
        return kTlsPort;
    case MailSecurity::None:
        break;
    }
    return kDefaultPort;
}

bool SmtpMailer::sendMail(const std::string& recipient, const std::string& body, const std::string& sender,
                          const std::string& server, const std::string& subject) {
    SmtpSend own{replyReadSize_,       submission_,          senderName_, lastError,
                 std::move(lastReply), std::move(errorText), stepFlag};
    const bool sent = sendMail(own, recipient, body, sender, server, subject);
    lastError = own.lastError;
    lastReply = std::move(own.lastReply);
    errorText = std::move(own.errorText);
    stepFlag = own.stepFlag;
    return sent;
}

bool SmtpMailer::sendMail(SmtpSend& send, const std::string& recipient, const std::string& body,
                          const std::string& sender, const std::string& server, const std::string& subject) {
    send.replyReadSize = std::clamp<std::size_t>(send.replyReadSize, 1, kBufferSize);
    // A send started from a message dispatched inside another one works on
    // its own terms and outcome, and puts the outer one's back when it ends.
    SmtpSend* outer = std::exchange(send_, &send);
    const bool sent = run(recipient, body, sender, server, subject);
    send_ = outer;
    return sent;
}

bool SmtpMailer::run(const std::string& recipient, const std::string& body, const std::string& sender,
                     const std::string& server, const std::string& subject) {
    SmtpSend& send = *send_;
    // A line break in these would end the command line early and let the
    // rest of the text pass as a command of its own.
    const char* badField = hasLineBreak(sender)      ? "sender"
                           : hasLineBreak(recipient) ? "recipient"
                           : hasLineBreak(server)    ? "server"
                                                     : nullptr;
    if (badField) {
        send.stepFlag = 0;
        send.lastError = kInvalidArgument;
        send.errorText =
            SocketErrorText::text(kInvalidArgument) + " The " + badField + " contains a line break. Flag: 0";
        return false;
    }

    if (send.submission.security == MailSecurity::None && !send.submission.user.empty()) {
        // Refused before connecting: nothing of the login, and nothing else,
        // goes over a connection without encryption.
        send.stepFlag = kStepLogin;
        send.lastError = SocketErrorText::kLoginNeedsEncryption;
        return finish();
    }

    pump_.dispatchOne();
    send.stepFlag = 0;
    SmtpConnection connection(pump_, timeouts_.connect, timeouts_.reply, kBufferSize);
    SmtpConnection* outer = std::exchange(connection_, &connection);
    SmtpExtensions outerExtensions = std::exchange(extensions_, SmtpExtensions());
    std::string outerTlsReason = std::exchange(tlsReason_, std::string());
    const std::uint16_t outerPort = std::exchange(port_, 0);
    if (send.submission.plain())
        runSteps(recipient, body, sender, server, subject);
    else
        runExtended(Envelope{recipient, body, sender, subject}, server);
    connection.close();
    const bool sent = finish();
    connection_ = outer;
    extensions_ = std::move(outerExtensions);
    tlsReason_ = std::move(outerTlsReason);
    port_ = outerPort;
    return sent;
}

void SmtpMailer::runSteps(const std::string& recipient, const std::string& body, const std::string& sender,
                          const std::string& server, const std::string& subject) {
    const ServerAddress address = splitServer(server);
    pump_.sleepFor(kPause);
    if (pump_.stopRequested()) {
        send_->lastError = TcpSocket::kInterrupted;
        return;
    }
    const int connectError = connect(address);
    send_->lastError = 0;

    pump_.sleepFor(kPause);
    if (connectError != 0) {
        // Reported where the greeting would have been read, with the
        // connection's own reason rather than "not connected".
        send_->lastError = connectError;
        send_->stepFlag = kStepGreetingRead;
        return;
    }
    std::string greeting;
    const int readError = connection_->readReply(kBufferSize, greeting);
    if (greeting.size() >= 5 && !text::startsWithNoCase(greeting, "220")) {
        send_->lastError = SocketErrorText::kGreetingRefused;
        send_->stepFlag = kStepGreeting;
        return;
    }
    if (readError != 0 || greeting.empty()) {
        // A server that closes without a word is reported as shutting down.
        send_->lastError = readError != 0 ? readError : kPeerShutDown;
        send_->stepFlag = kStepGreetingRead;
        return;
    }

    struct Step {
        std::string line;
        const char* expected;
        int flag;
    };
    const Step commands[] = {
        {"HELO " + address.host + " \r\n", "250 ", kStepHelo},
        {"MAIL FROM: <" + sender + ">\r\n", "250 ", kStepMailFrom},
        {"RCPT to: <" + recipient + ">\r\n", "250 ", kStepRcpt},
        {"DATA\r\n", "354 ", kStepData},
    };
    for (const Step& step : commands) {
        if (!exchange(step.line, step.expected)) {
            send_->stepFlag = step.flag;
            return;
        }
    }
    if (!exchange(messageText(recipient, body, sender, subject), "250 ")) {
        send_->stepFlag = kStepMessage;
        return;
    }
    if (!exchange("QUIT \r\n", "221 ")) {
        send_->stepFlag = kStepQuit;
        return;
    }
}

void SmtpMailer::runExtended(const Envelope& mail, const std::string& server) {
    const ServerAddress address = splitServer(server, defaultPort(send_->submission.security));
    port_ = address.port;
    tlsReason_.clear();
    State state = State::Connect;
    while (state != State::Done && state != State::Failed)
        state = advance(state, address, mail);
}

SmtpMailer::State SmtpMailer::advance(State state, const ServerAddress& address, const Envelope& mail) {
    const bool tls = send_->submission.security == MailSecurity::Tls;
    const State afterEhlo = send_->submission.user.empty() ? State::MailFrom : State::Login;
    switch (state) {
    case State::Connect: {
        pump_.sleepFor(kPause);
        if (pump_.stopRequested())
            return fail(TcpSocket::kInterrupted, 0);
        const int error = connect(address);
        send_->lastError = 0;
        if (error != 0)
            return fail(error, kStepGreetingRead);
        return tls ? State::TlsHandshake : State::Greeting;
    }
    case State::TlsHandshake:
        return handshake(address, State::Greeting);
    case State::Greeting: {
        pump_.sleepFor(kPause);
        std::string greeting;
        const int error = connection_->readWholeReply(greeting);
        if (greeting.size() >= 5 && !text::startsWithNoCase(greeting, "220"))
            return fail(SocketErrorText::kGreetingRefused, kStepGreeting);
        if (error != 0 || greeting.empty())
            return fail(error != 0 ? error : kPeerShutDown, kStepGreetingRead);
        return State::Ehlo;
    }
    case State::Ehlo:
    case State::EhloAgain:
        if (!command("EHLO " + connection_->localAddressLiteral() + "\r\n", "250", kStepEhlo))
            return State::Failed;
        extensions_ = SmtpExtensions(send_->lastReply);
        if (state == State::Ehlo && send_->submission.security == MailSecurity::StartTls)
            return State::StartTls;
        return afterEhlo;
    case State::StartTls:
        if (!extensions_.offers("STARTTLS"))
            return fail(SocketErrorText::kStartTlsNotOffered, kStepStartTls);
        if (!command("STARTTLS\r\n", "220", kStepStartTls))
            return State::Failed;
        return State::StartTlsHandshake;
    case State::StartTlsHandshake:
        return handshake(address, State::EhloAgain);
    case State::Login:
        return login();
    case State::MailFrom:
        return command("MAIL FROM:<" + mail.sender + ">\r\n", "250", kStepMailFrom) ? State::Rcpt
                                                                                    : State::Failed;
    case State::Rcpt:
        return command("RCPT TO:<" + mail.recipient + ">\r\n", "250", kStepRcpt) ? State::Data
                                                                                 : State::Failed;
    case State::Data:
        return command("DATA\r\n", "354", kStepData) ? State::Message : State::Failed;
    case State::Message:
        return command(messageText(mail.recipient, mail.body, mail.sender, mail.subject), "250", kStepMessage)
                   ? State::Quit
                   : State::Failed;
    case State::Quit:
        return command("QUIT\r\n", "221", kStepQuit) ? State::Done : State::Failed;
    case State::Done:
    case State::Failed:
        break;
    }
    return state;
}

SmtpMailer::State SmtpMailer::handshake(const ServerAddress& address, State next) {
    const int error = connection_->startTls(address.host);
    return error != 0 ? fail(error, kStepTlsHandshake) : next;
}

// AUTH PLAIN when the server offers it, else AUTH LOGIN; only ever over TLS.
SmtpMailer::State SmtpMailer::login() {
    if (!connection_ || !connection_->secure())
        return fail(SocketErrorText::kLoginNeedsEncryption, kStepLogin);
    const std::string& user = send_->submission.user;
    const std::string& password = send_->submission.password;
    if (extensions_.offersLogin("PLAIN")) {
        std::string credentials;
        credentials.append(1, '\0').append(user).append(1, '\0').append(password);
        std::string line = "AUTH PLAIN " + text::base64(credentials) + "\r\n";
        wipe(credentials);
        const bool accepted = command(line, "235", kStepLogin);
        wipe(line);
        return accepted ? State::MailFrom : State::Failed;
    }
    if (extensions_.offersLogin("LOGIN")) {
        if (!command("AUTH LOGIN\r\n", "334", kStepLogin) ||
            !command(text::base64(user) + "\r\n", "334", kStepLogin))
            return State::Failed;
        std::string line = text::base64(password) + "\r\n";
        const bool accepted = command(line, "235", kStepLogin);
        wipe(line);
        return accepted ? State::MailFrom : State::Failed;
    }
    return fail(SocketErrorText::kNoLoginMethod, kStepLogin);
}

SmtpMailer::State SmtpMailer::fail(int error, int flag) {
    send_->lastError = error;
    send_->stepFlag = flag;
    if (error == SocketErrorText::kSecureConnectionFailed && connection_)
        tlsReason_ = connection_->tlsFailureReason();
    return State::Failed;
}

bool SmtpMailer::command(const std::string& line, const char* code, int flag) {
    if (talk(line, code, true))
        return true;
    fail(send_->lastError, flag);
    return false;
}

int SmtpMailer::connect(const ServerAddress& address) {
    bool retried = false;
    const int error = connection_->connect(address.host, address.port, retried);
    if (retried)
        send_->stepFlag = kStepConnectRetry;
    return error;
}

// A failure before the login on a port whose usual mode is the other one:
// the likely cause, said after the error.
std::string SmtpMailer::portHint(MailSecurity security, std::uint16_t port, int stepFlag) {
    const bool early = stepFlag == kStepGreeting || stepFlag == kStepGreetingRead ||
                       stepFlag == kStepTlsHandshake || stepFlag == kStepEhlo || stepFlag == kStepStartTls;
    if (!early)
        return {};
    if (security == MailSecurity::Tls && port == kStartTlsPort)
        return " Port 587 most likely expects STARTTLS (MAILSECURITY=starttls), not TLS from the first byte.";
    if (security == MailSecurity::StartTls && port == kTlsPort)
        return " Port 465 most likely expects TLS from the first byte (MAILSECURITY=tls), not STARTTLS.";
    return {};
}

bool SmtpMailer::finish() {
    if (send_->lastError == 0)
        return true;
    const std::string& detail =
        send_->lastError == SocketErrorText::kSecureConnectionFailed ? tlsReason_ : send_->lastReply;
    send_->errorText = SocketErrorText::text(send_->lastError, detail) +
                       " Flag: " + std::to_string(send_->stepFlag) +
                       portHint(send_->submission.security, port_, send_->stepFlag);
    return false;
}

bool SmtpMailer::exchange(const std::string& line, const std::string& expected) {
    if (!send_) {
        lastError = TcpSocket::kNotConnected; // no send in progress
        return false;
    }
    return talk(line, expected, false);
}

// One command and its reply, with the fixed pause before each: the plain
// dialogue takes what one read of at most `replyReadSize` bytes brings,
// the extended one the whole reply. False with `lastError` when either
// fails, when the reply does not begin with `expected` (ignoring case;
// empty takes any), or when the program is ending.
bool SmtpMailer::talk(const std::string& line, const std::string& expected, bool wholeReply) {
    pump_.sleepFor(kPause);
    if (pump_.stopRequested()) {
        send_->lastError = TcpSocket::kInterrupted; // the program is ending: no further command
        return false;
    }
    send_->lastError = connection_ ? connection_->send(line) : TcpSocket::kNotConnected;
    if (send_->lastError != 0)
        return false;
    pump_.sleepFor(kPause);

    std::string reply;
    send_->lastError =
        wholeReply ? connection_->readWholeReply(reply) : connection_->readReply(send_->replyReadSize, reply);
    send_->lastReply = reply;
    if (send_->lastError != 0)
        return false;
    if (!expected.empty() && !text::startsWithNoCase(reply, expected)) {
        send_->lastError = SocketErrorText::kUnexpectedReply;
        return false;
    }
    pump_.dispatchOne();
    return true;
}

std::string SmtpMailer::messageText(const std::string& recipient, const std::string& body,
                                    const std::string& sender, const std::string& subject) const {
    // A secured submission goes to a provider that holds mail to RFC 5322
    // and MIME; the plain dialogue keeps its message as it always was.
    const bool conforming = send_->submission.security != MailSecurity::None;
    return MailMessage::dataText(
        conforming
            ? MailMessage::headerLines({clock_.now(), send_->senderName, sender, recipient, subject, {}})
            : "Date: " + DateText::dateTime(clock_.now()) + "\r\nFrom: " + sender +
                  "\r\nSubject: " + subject + "\r\nTo: " + recipient + "\r\n",
        conforming ? MailMessage::toUtf8(body) : body);
}

} // namespace vantrel
