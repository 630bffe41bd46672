#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vantrel::test {

// A TCP server for tests on 127.0.0.1 at a free port, serving one connection
// at a time on its own thread, or, once setConcurrent(true) was called before
// start(), each connection on a thread of its own. Every wait of the thread is bounded and gives
// way to stop(), so stopping always ends within a short time. A derived class
// calls start() at the end of its constructor and stop() first in its
// destructor.
class LoopbackServer {
public:
    // Listens on `port`, or on a free one when it is 0.
    explicit LoopbackServer(std::uint16_t port = 0);
    virtual ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return port_; }
    // "127.0.0.1:<port>"
    std::string hostPort() const;
    // Connections accepted so far.
    int connections() const { return connections_.load(); }

    void stop();

protected:
    static constexpr std::chrono::milliseconds kIoTimeout{10000};

    void start();
    void setConcurrent(bool on) { concurrent_ = on; }
    // Serves one accepted connection; the socket is closed afterwards
    // unless serve() has closed it and set `fd` to -1.
    virtual void serve(int& fd) = 0;
    bool stopping() const { return stopping_.load(); }

    // Reads into `buffer` until `done(buffer)` holds; false when the peer
    // closed, the time ran out or the server is stopping first.
    bool readUntil(int fd, std::string& buffer, const std::function<bool(const std::string&)>& done,
                   std::chrono::milliseconds timeout = kIoTimeout) const;
    // Waits until the peer closes (reading and keeping what it still sends).
    void drainUntilClosed(int fd, std::string& buffer, std::chrono::milliseconds timeout = kIoTimeout) const;
    // Like drainUntilClosed but keeps nothing.
    void holdUntilClosed(int fd) const;
    static bool sendAll(int fd, std::string_view bytes);
    // Ends the connection with a TCP reset instead of an orderly close.
    static void resetAndClose(int& fd);
    // Sleeps, giving way to stop().
    void pause(std::chrono::milliseconds duration) const;

private:
    void run();

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
    bool concurrent_ = false;
    std::vector<std::thread> connectionThreads_;
};

} // namespace vantrel::test
