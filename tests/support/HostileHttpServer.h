#pragma once

#include "tests/support/LoopbackServer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

namespace vantrel::test {

// An HTTP server on 127.0.0.1 that misbehaves in one way for every request,
// whatever its target. It reads the request (head and announced body) first,
// except when it never reads at all.
class HostileHttpServer : public LoopbackServer {
public:
    enum class Behaviour {
        // Accepts the connection and never reads or answers.
        NeverAnswer,
        // Sends a status line and headers announcing a body, then nothing.
        HeadersThenStall,
        // Streams a body without end until the client goes away. The body
        // is '.' bytes with `marker` at byte `markerOffset` of the body.
        EndlessBody,
        // Sends a status line and headers, then one body byte every
        // `dripInterval`, for ever: fast enough for any stall limit.
        Drip,
        // Sends bytes that are not HTTP (every byte value, NUL included)
        // and closes.
        Garbage,
        // Sends the same bytes and keeps the connection open.
        GarbageThenStall,
        // A status line, then one header line that never ends.
        EndlessHeader,
    };

    explicit HostileHttpServer(Behaviour behaviour);
    ~HostileHttpServer() override;

    void setMarker(std::string marker, std::size_t offset);
    void setDripInterval(std::chrono::milliseconds interval) { dripInterval_ = interval; }

    // "http://127.0.0.1:<port>" followed by `path`.
    std::string url(const std::string& path) const;

    // The connections served to their end so far; waits at most `timeout`
    // for `count` of them.
    bool waitServed(int count, std::chrono::milliseconds timeout) const;
    // Body bytes the last streaming connection got out before it ended.
    std::size_t bytesStreamed() const { return streamed_.load(); }
    // The last streaming connection ended because the client went away
    // (rather than because the server was stopped).
    bool clientLeft() const { return clientLeft_.load(); }
    // The bytes of garbage the Garbage behaviours send.
    static std::string garbage();

protected:
    void serve(int& fd) override;

private:
    bool readRequest(int fd) const;
    void misbehave(int fd);
    void stream(int fd, const std::string& head, std::size_t pieceSize, std::chrono::milliseconds interval);

    Behaviour behaviour_;
    std::string marker_;
    std::size_t markerOffset_ = 0;
    std::chrono::milliseconds dripInterval_{300};
    std::atomic<std::size_t> streamed_{0};
    std::atomic<bool> clientLeft_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable servedChanged_;
    int served_ = 0;
};

} // namespace vantrel::test
