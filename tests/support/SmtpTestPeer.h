#pragma once

#include "tests/support/LoopbackServer.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel::test {

// A scripted SMTP server on 127.0.0.1, written like a transcript:
//   peer.addSession({say("220 ready\r\n"), hear(), say("250 hello\r\n"), ...});
// Each connection plays the next session's script; a connection with no
// script left is closed at once. Everything the client sends is recorded
// byte for byte, per session.
class SmtpTestPeer : public LoopbackServer {
public:
    struct Step {
        enum class Kind { Say, Hear, HearData, HangUp, GoSilent };
        Kind kind = Kind::Say;
        std::vector<std::string> pieces;   // Say: sent in order ...
        std::chrono::milliseconds delay{}; // ... with this pause between them
    };

    static Step say(std::string reply);
    // Sends the pieces one after the other with `delay` between them.
    static Step sayInPieces(std::vector<std::string> pieces, std::chrono::milliseconds delay);
    // Waits for one command line (up to "\r\n").
    static Step hear();
    // Waits for the message text (up to "\r\n.\r\n").
    static Step hearData();
    // Closes the connection.
    static Step hangUp();
    // Stops answering but keeps the connection open until the client closes.
    static Step goSilent();
    // The whole dialogue of a server that takes one message.
    static std::vector<Step> acceptingSession();

    SmtpTestPeer();
    ~SmtpTestPeer() override;

    void addSession(std::vector<Step> script);
    // All the client sent in session `index` (0 for the first connection),
    // once that session has ended (waits a bounded time for it).
    std::string received(std::size_t index = 0) const;

protected:
    void serve(int& fd) override;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable ended_;
    std::deque<std::vector<Step>> scripts_;
    std::vector<std::string> received_;
    std::size_t finished_ = 0;
};

} // namespace vantrel::test
