#include "notify/SmtpMailer.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "notify/EventPump.h"
#include "notify/SocketErrorText.h"
#include "platform/TcpSocket.h"

#include <algorithm>
#include <utility>

namespace vantrel {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kPause{100};
constexpr milliseconds kRetryPause{200};
constexpr int kMaxConnectRetries = 10;
constexpr int kAddressInUse = 10048;
constexpr int kInvalidArgument = 10022;
constexpr int kPeerShutDown = 10101;

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

} // namespace

SmtpMailer::SmtpMailer(std::size_t replyReadSize, EventPump& pump, Clock& clock)
    : SmtpMailer(replyReadSize, pump, clock, Timeouts{}) {}

SmtpMailer::SmtpMailer(std::size_t replyReadSize, EventPump& pump, Clock& clock, Timeouts timeouts)
    : replyReadSize_(std::clamp<std::size_t>(replyReadSize, 1, kBufferSize)), pump_(pump), clock_(clock),
      timeouts_(timeouts) {}

SmtpMailer::ServerAddress SmtpMailer::splitServer(const std::string& server) {
    auto parsePort = [](std::string_view digits) -> int {
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -1;
        int port = std::stoi(std::string(digits));
        return port >= 1 && port <= 65535 ? port : -1;
    };
    ServerAddress a{server, kDefaultPort};
    std::string_view s = server;
    if (s.starts_with("[")) {
        std::size_t close = s.find(']');
        if (close == std::string_view::npos)
            return a;
        std::string_view rest = s.substr(close + 1);
        int port = rest.empty() ? kDefaultPort : (rest.starts_with(":") ? parsePort(rest.substr(1)) : -1);
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

    pump_.dispatchOne();
    stepFlag = 0;
    TcpSocket socket(timeouts_.connect);
    socket.setStopFd(pump_.stopSignal().wakeFd());
    TcpSocket* outer = std::exchange(socket_, &socket);
    runSteps(socket, recipient, body, sender, server, subject);
    socket.close();
    socket_ = outer;
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
    lastError = connect(socket, address);
    for (int retries = 0; lastError == kAddressInUse && retries < kMaxConnectRetries; ++retries) {
        pump_.sleepFor(kRetryPause);
        lastError = connect(socket, address);
        stepFlag = kStepConnectRetry;
    }
    const int connectError = lastError;
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

int SmtpMailer::connect(TcpSocket& socket, const ServerAddress& address) {
    int error = 0;
    pump_.runBlocking([&] { error = socket.connect(address.host, address.port); });
    return error;
}

bool SmtpMailer::finish() {
    if (lastError == 0)
        return true;
    errorText = SocketErrorText::text(lastError, lastReply) + " Flag: " + std::to_string(stepFlag);
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
    std::string text = "Date: " + DateText::dateTime(clock_.now()) + "\r\nFrom: " + sender +
                       "\r\nSubject: " + subject + "\r\nTo: " + recipient + "\r\n";
    // An empty line parts the header lines from the body. Report bodies
    // begin with a line end and bring it themselves.
    if (!body.empty() && !startsWithLineEnd(body))
        text += "\r\n";
    text += dotStuffed(body);
    text += "\r\n\r\n.\r\n";
    return text;
}

} // namespace vantrel
