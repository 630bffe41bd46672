#include "tests/support/SmtpTestPeer.h"

namespace vantrel::test {

SmtpTestPeer::Step SmtpTestPeer::say(std::string reply) {
    return {Step::Kind::Say, {std::move(reply)}, {}};
}

SmtpTestPeer::Step SmtpTestPeer::sayInPieces(std::vector<std::string> pieces,
                                             std::chrono::milliseconds delay) {
    return {Step::Kind::Say, std::move(pieces), delay};
}

SmtpTestPeer::Step SmtpTestPeer::hear() {
    return {Step::Kind::Hear, {}, {}};
}

SmtpTestPeer::Step SmtpTestPeer::hearData() {
    return {Step::Kind::HearData, {}, {}};
}

SmtpTestPeer::Step SmtpTestPeer::hangUp() {
    return {Step::Kind::HangUp, {}, {}};
}

SmtpTestPeer::Step SmtpTestPeer::goSilent() {
    return {Step::Kind::GoSilent, {}, {}};
}

SmtpTestPeer::SmtpTestPeer() {
    start();
}

SmtpTestPeer::~SmtpTestPeer() {
    stop();
}

void SmtpTestPeer::addSession(std::vector<Step> script) {
    std::lock_guard lock(mutex_);
    scripts_.push_back(std::move(script));
}

std::string SmtpTestPeer::received(std::size_t index) const {
    std::unique_lock lock(mutex_);
    ended_.wait_for(lock, kIoTimeout, [&] { return finished_ > index; });
    return index < received_.size() ? received_[index] : std::string();
}

void SmtpTestPeer::serve(int& fd) {
    std::vector<Step> script;
    {
        std::lock_guard lock(mutex_);
        if (!scripts_.empty()) {
            script = std::move(scripts_.front());
            scripts_.pop_front();
        }
    }
    std::string bytes;    // all the client sent
    std::size_t used = 0; // how much of it the script has heard
    auto heard = [&](std::string_view end) {
        return readUntil(fd, bytes, [&](const std::string& b) {
            std::size_t at = b.find(end, used);
            if (at == std::string::npos)
                return false;
            used = at + end.size();
            return true;
        });
    };

    bool open = true;
    for (const Step& step : script) {
        if (!open)
            break;
        switch (step.kind) {
        case Step::Kind::Say:
            for (std::size_t i = 0; i < step.pieces.size() && open; ++i) {
                if (i > 0)
                    pause(step.delay);
                open = sendAll(fd, step.pieces[i]);
            }
            break;
        case Step::Kind::Hear:
            open = heard("\r\n");
            break;
        case Step::Kind::HearData:
            open = heard("\r\n.\r\n");
            break;
        case Step::Kind::HangUp:
            open = false;
            break;
        case Step::Kind::GoSilent:
            drainUntilClosed(fd, bytes, std::chrono::minutes(10));
            open = false;
            break;
        }
    }
    if (open)
        drainUntilClosed(fd, bytes);

    std::lock_guard lock(mutex_);
    received_.push_back(bytes);
    ++finished_;
    ended_.notify_all();
}

std::vector<SmtpTestPeer::Step> SmtpTestPeer::acceptingSession() {
    return {say("220 mail ready\r\n"), hear(),     say("250 hello\r\n"),  hear(),
            say("250 ok\r\n"),         hear(),     say("250 ok\r\n"),     hear(),
            say("354 go ahead\r\n"),   hearData(), say("250 queued\r\n"), hear(),
            say("221 bye\r\n")};
}

} // namespace vantrel::test
