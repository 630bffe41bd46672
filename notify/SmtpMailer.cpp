#include "notify/SmtpMailer.h"

#include "notify/MailMessage.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "notify/EventPump.h"
#include "notify/SocketErrorText.h"
#include "platform/TcpSocket.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kPause{100};
constexpr milliseconds kRetryPause{200};
constexpr int kMaxConnectRetries = 10;
constexpr int kAddressInUse = 10048;
constexpr int kInvalidArgument = 10022;
constexpr int kPeerShutDown = 10101;

static_assert(TcpSocket::kTlsFailed == SocketErrorText::kSecureConnectionFailed);

bool hasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

bool startsWithLineEnd(const std::string& s) {
    return s.starts_with("\n") || s.starts_with("\r\n");
}

// A line of the body that begins with "." gets a second one, so that no line
// of the body can read as the end of the message. A bare CR counts as a line
// end too: some servers take "<CR>.<CR>" or "<LF>.<LF>" for the end of the
// data, and what followed would then be read as commands.
std::string dotStuffed(const std::string& body) {
    std::string out;
    out.reserve(body.size() + 16);
    bool lineStart = true;
    for (char c : body) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n' || c == '\r';
    }
    return out;
}

// A line of a reply that another line follows: "250-...".
bool continues(std::string_view line) {
    return line.size() >= 4 && line[3] == '-';
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The keywords and parameters an EHLO reply offers, one upper-case line
// each ("STARTTLS", "AUTH PLAIN LOGIN"); the first line names the server.
std::vector<std::string> extensionLines(std::string_view reply) {
    std::vector<std::string> lines;
    bool first = true;
    while (!reply.empty()) {
        std::size_t end = reply.find('\n');
        std::string_view line = reply.substr(0, end);
        reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
        if (!first && line.size() > 4)
            lines.push_back(upper(text::trimRight(line.substr(4))));
        first = false;
    }
    return lines;
}

bool offers(const std::string& extensions, std::string_view keyword) {
    for (const std::string& line : extensionLines(extensions))
        if (line == keyword || line.starts_with(std::string(keyword) + " "))
            return true;
    return false;
}

// The login methods offered: "AUTH PLAIN LOGIN", or the older "AUTH=LOGIN".
bool offersLogin(const std::string& extensions, std::string_view mechanism) {
    for (const std::string& line : extensionLines(extensions)) {
        if (!line.starts_with("AUTH ") && !line.starts_with("AUTH="))
            continue;
        std::string_view rest = std::string_view(line).substr(5);
        while (!rest.empty()) {
            std::size_t end = rest.find(' ');
            if (rest.substr(0, end) == mechanism)
                return true;
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }
    return false;
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

SmtpMailer::ServerAddress SmtpMailer::splitServer(const std::string& server, std::uint16_t defaultPort) {
    auto parsePort = [](std::string_view digits) -> int {
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -1;
        int port = std::stoi(std::string(digits));
        return port >= 1 && port <= 65535 ? port : -1;
    };
    ServerAddress a{server, defaultPort};
    std::string_view s = server;
    if (s.starts_with("[")) {
        std::size_t close = s.find(']');
        if (close == std::string_view::npos)
            return a;
        std::string_view rest = s.substr(close + 1);
        int port = rest.empty() ? defaultPort : (rest.starts_with(":") ? parsePort(rest.substr(1)) : -1);
        if (port > 0)
            a = {std::string(s.substr(1, close - 1)), static_cast<std::uint16_t>(port)};
        return a;
    }
    std::size_t colon = s.find(':');
    if (colon != std::string_view::npos && s.find(':', colon + 1) == std::string_view::npos) {
        int port = parsePort(s.substr(colon + 1));
        if (port > 0)
            a = {std::string(s.substr(0, colon)), static_cast<std::uint16_t>(port)};
    }
    return a;
}

bool SmtpMailer::sendMail(const std::string& recipient, const std::string& body, const std::string& sender,
                          const std::string& server, const std::string& subject) {
    // A line break in these would end the command line early and let the
    // rest of the text pass as a command of its own.
    const char* badField = hasLineBreak(sender)      ? "sender"
                           : hasLineBreak(recipient) ? "recipient"
                           : hasLineBreak(server)    ? "server"
                                                     : nullptr;
    if (badField) {
        stepFlag = 0;
        lastError = kInvalidArgument;
        errorText =
            SocketErrorText::text(kInvalidArgument) + " The " + badField + " contains a line break. Flag: 0";
        return false;
    }

    if (submission_.security == MailSecurity::None && !submission_.user.empty()) {
        // Refused before connecting: nothing of the login, and nothing else,
        // goes over a connection without encryption.
        stepFlag = kStepLogin;
        lastError = SocketErrorText::kLoginNeedsEncryption;
        return finish();
    }

    pump_.dispatchOne();
    stepFlag = 0;
    TcpSocket socket(timeouts_.connect);
    socket.setStopFd(pump_.stopSignal().wakeFd());
    TcpSocket* outer = std::exchange(socket_, &socket);
    std::string outerUnread = std::exchange(unread_, {});
    std::string outerExtensions = std::exchange(extensions_, {});
    if (submission_.plain())
        runSteps(socket, recipient, body, sender, server, subject);
    else
        runExtended(socket, Envelope{recipient, body, sender, subject}, server);
    socket.close();
    socket_ = outer;
    unread_ = std::move(outerUnread);
    extensions_ = std::move(outerExtensions);
    return finish();
}

void SmtpMailer::runSteps(TcpSocket& socket, const std::string& recipient, const std::string& body,
                          const std::string& sender, const std::string& server, const std::string& subject) {
    const ServerAddress address = splitServer(server);
    pump_.sleepFor(kPause);
    if (pump_.stopRequested()) {
        lastError = TcpSocket::kInterrupted;
        return;
    }
    const int connectError = connectWithRetries(socket, address);
    lastError = 0;

    pump_.sleepFor(kPause);
    if (connectError != 0) {
        // Reported where the greeting would have been read, with the
        // connection's own reason rather than "not connected".
        lastError = connectError;
        stepFlag = kStepGreetingRead;
        return;
    }
    std::string greeting;
    const int readError = readReply(kBufferSize, greeting);
    if (greeting.size() >= 5 && !text::startsWithNoCase(greeting, "220")) {
        lastError = SocketErrorText::kGreetingRefused;
        stepFlag = kStepGreeting;
        return;
    }
    if (readError != 0 || greeting.empty()) {
        // A server that closes without a word is reported as shutting down.
        lastError = readError != 0 ? readError : kPeerShutDown;
        stepFlag = kStepGreetingRead;
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
            stepFlag = step.flag;
            return;
        }
    }
    if (!exchange(messageText(recipient, body, sender, subject), "250 ")) {
        stepFlag = kStepMessage;
        return;
    }
    if (!exchange("QUIT \r\n", "221 ")) {
        stepFlag = kStepQuit;
        return;
    }
}

void SmtpMailer::runExtended(TcpSocket& socket, const Envelope& mail, const std::string& server) {
    const ServerAddress address = splitServer(server, defaultPort(submission_.security));
    port_ = address.port;
    tlsReason_.clear();
    State state = State::Connect;
    while (state != State::Done && state != State::Failed)
        state = advance(state, socket, address, mail);
}

SmtpMailer::State SmtpMailer::advance(State state, TcpSocket& socket, const ServerAddress& address,
                                      const Envelope& mail) {
    const bool tls = submission_.security == MailSecurity::Tls;
    const State afterEhlo = submission_.user.empty() ? State::MailFrom : State::Login;
    switch (state) {
    case State::Connect: {
        pump_.sleepFor(kPause);
        if (pump_.stopRequested())
            return fail(TcpSocket::kInterrupted, 0);
        const int error = connectWithRetries(socket, address);
        lastError = 0;
        if (error != 0)
            return fail(error, kStepGreetingRead);
        return tls ? State::TlsHandshake : State::Greeting;
    }
    case State::TlsHandshake:
        return handshake(socket, address, State::Greeting);
    case State::Greeting: {
        pump_.sleepFor(kPause);
        std::string greeting;
        const int error = readWholeReply(greeting);
        if (greeting.size() >= 5 && !text::startsWithNoCase(greeting, "220"))
            return fail(SocketErrorText::kGreetingRefused, kStepGreeting);
        if (error != 0 || greeting.empty())
            return fail(error != 0 ? error : kPeerShutDown, kStepGreetingRead);
        return State::Ehlo;
    }
    case State::Ehlo:
    case State::EhloAgain:
        if (!command("EHLO " + socket.localAddressLiteral() + "\r\n", "250", kStepEhlo))
            return State::Failed;
        extensions_ = lastReply;
        if (state == State::Ehlo && submission_.security == MailSecurity::StartTls)
            return State::StartTls;
        return afterEhlo;
    case State::StartTls:
        if (!offers(extensions_, "STARTTLS"))
            return fail(SocketErrorText::kStartTlsNotOffered, kStepStartTls);
        if (!command("STARTTLS\r\n", "220", kStepStartTls))
            return State::Failed;
        return State::StartTlsHandshake;
    case State::StartTlsHandshake:
        return handshake(socket, address, State::EhloAgain);
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

// Before the handshake, whatever the server sent in the clear and has not
// been read is dropped: it must not pass for a reply over the protected
// connection.
SmtpMailer::State SmtpMailer::handshake(TcpSocket& socket, const ServerAddress& address, State next) {
    unread_.clear();
    int error = 0;
    pump_.runBlocking([&] {
        socket.discardUnread();
        error = socket.startTls(address.host, timeouts_.reply);
    });
    if (error != 0)
        return fail(error, kStepTlsHandshake);
    return next;
}

// AUTH PLAIN when the server offers it, else AUTH LOGIN; only ever over TLS.
SmtpMailer::State SmtpMailer::login() {
    if (!socket_ || !socket_->secure())
        return fail(SocketErrorText::kLoginNeedsEncryption, kStepLogin);
    const std::string& user = submission_.user;
    const std::string& password = submission_.password;
    if (offersLogin(extensions_, "PLAIN")) {
        std::string credentials;
        credentials.append(1, '\0').append(user).append(1, '\0').append(password);
        std::string line = "AUTH PLAIN " + text::base64(credentials) + "\r\n";
        wipe(credentials);
        const bool accepted = command(line, "235", kStepLogin);
        wipe(line);
        return accepted ? State::MailFrom : State::Failed;
    }
    if (offersLogin(extensions_, "LOGIN")) {
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
    lastError = error;
    stepFlag = flag;
    if (error == SocketErrorText::kSecureConnectionFailed && socket_)
        tlsReason_ = socket_->tlsFailureReason();
    return State::Failed;
}

bool SmtpMailer::command(const std::string& line, const char* code, int flag) {
    pump_.sleepFor(kPause);
    int error = TcpSocket::kNotConnected;
    if (socket_)
        pump_.runBlocking([&] { error = socket_->sendAll(line, timeouts_.reply); });
    if (error != 0) {
        fail(error, flag);
        return false;
    }
    lastError = 0;
    pump_.sleepFor(kPause);

    std::string reply;
    error = readWholeReply(reply);
    lastReply = reply;
    if (error != 0) {
        fail(error, flag);
        return false;
    }
    if (!text::startsWithNoCase(reply, code)) {
        fail(SocketErrorText::kUnexpectedReply, flag);
        return false;
    }
    pump_.dispatchOne();
    return true;
}

// Reads one whole reply, every line of a multi-line one included: up to and
// with the first line that is not "ddd-...". Bounded by the reply time
// (10060) and by kBufferSize bytes (beyond them the reply fails as one
// without the expected code). What arrives after the reply's last line
// stays for the next one.
int SmtpMailer::readWholeReply(std::string& reply) {
    reply.clear();
    if (!socket_)
        return TcpSocket::kNotConnected;
    const auto deadline = std::chrono::steady_clock::now() + timeouts_.reply;
    std::size_t lineStart = 0;
    auto takeAll = [&](int result) {
        reply = std::move(unread_);
        unread_.clear();
        return result;
    };
    while (true) {
        for (std::size_t end; (end = unread_.find('\n', lineStart)) != std::string::npos;) {
            const std::string_view line(unread_.data() + lineStart, end + 1 - lineStart);
            lineStart = end + 1;
            if (!continues(line)) {
                reply = unread_.substr(0, lineStart);
                unread_.erase(0, lineStart);
                return 0;
            }
        }
        if (unread_.size() >= kBufferSize) {
            unread_.resize(kBufferSize);
            return takeAll(SocketErrorText::kUnexpectedReply);
        }
        auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return takeAll(TcpSocket::kTimedOut);
        TcpSocket::Received r;
        pump_.runBlocking([&] { r = socket_->receive(unread_, kBufferSize - unread_.size(), left); });
        if (r.error != 0 || r.peerClosed)
            return takeAll(r.error);
    }
}

int SmtpMailer::connect(TcpSocket& socket, const ServerAddress& address) {
    int error = 0;
    pump_.runBlocking([&] { error = socket.connect(address.host, address.port); });
    return error;
}

int SmtpMailer::connectWithRetries(TcpSocket& socket, const ServerAddress& address) {
    int error = connect(socket, address);
    for (int retries = 0; error == kAddressInUse && retries < kMaxConnectRetries; ++retries) {
        pump_.sleepFor(kRetryPause);
        error = connect(socket, address);
        stepFlag = kStepConnectRetry;
    }
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
    if (lastError == 0)
        return true;
    const std::string& detail =
        lastError == SocketErrorText::kSecureConnectionFailed ? tlsReason_ : lastReply;
    errorText = SocketErrorText::text(lastError, detail) + " Flag: " + std::to_string(stepFlag) +
                portHint(submission_.security, port_, stepFlag);
    return false;
}

bool SmtpMailer::exchange(const std::string& line, const std::string& expected) {
    pump_.sleepFor(kPause);
    if (pump_.stopRequested()) {
        lastError = TcpSocket::kInterrupted; // the program is ending: no further command
        return false;
    }
    int error = TcpSocket::kNotConnected;
    if (socket_)
        pump_.runBlocking([&] { error = socket_->sendAll(line, timeouts_.reply); });
    if (error != 0) {
        lastError = error;
        return false;
    }
    lastError = 0;
    pump_.sleepFor(kPause);

    std::string reply;
    error = readReply(replyReadSize_, reply);
    lastReply = reply;
    if (error != 0) {
        lastError = error;
        return false;
    }
    lastError = 0;
    if (!expected.empty() && !text::startsWithNoCase(reply, expected)) {
        lastError = SocketErrorText::kUnexpectedReply;
        return false;
    }
    pump_.dispatchOne();
    return true;
}

// Reads one reply: until what has arrived ends with a line end, `limit`
// bytes have arrived, the peer closes, or the reply time runs out (10060).
// Whatever arrives later belongs to the next reply.
int SmtpMailer::readReply(std::size_t limit, std::string& reply) {
    if (!socket_)
        return TcpSocket::kNotConnected;
    const auto deadline = std::chrono::steady_clock::now() + timeouts_.reply;
    while (reply.size() < limit) {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return TcpSocket::kTimedOut;
        TcpSocket::Received r;
        pump_.runBlocking([&] { r = socket_->receive(reply, limit - reply.size(), left); });
        if (r.error != 0)
            return r.error;
        if (r.peerClosed || reply.ends_with('\n'))
            break;
    }
    return 0;
}

std::string SmtpMailer::messageText(const std::string& recipient, const std::string& body,
                                    const std::string& sender, const std::string& subject) const {
    // A secured submission goes to a provider that holds mail to RFC 5322
    // and MIME; the plain dialogue keeps its message as it always was.
    const bool conforming = submission_.security != MailSecurity::None;
    std::string text =
        conforming ? MailMessage::headerLines({clock_.now(), senderName_, sender, recipient, subject, {}})
                   : "Date: " + DateText::dateTime(clock_.now()) + "\r\nFrom: " + sender +
                         "\r\nSubject: " + subject + "\r\nTo: " + recipient + "\r\n";
    // An empty line parts the header lines from the body. Report bodies
    // begin with a line end and bring it themselves.
    if (!body.empty() && !startsWithLineEnd(body))
        text += "\r\n";
    text += dotStuffed(conforming ? MailMessage::toUtf8(body) : body);
    text += "\r\n\r\n.\r\n";
    return text;
}

} // namespace vantrel
