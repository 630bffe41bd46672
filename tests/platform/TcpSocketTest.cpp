#include "platform/TcpSocket.h"
#include "platform/HostResolver.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/SmtpTestPeer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <netdb.h>
#include <thread>

using namespace vantrel;
using std::chrono::milliseconds;
using vantrel::test::ChildProcess;
using vantrel::test::FullBacklogListener;
using vantrel::test::HttpTestServer;
using vantrel::test::SmtpTestPeer;

namespace {

constexpr milliseconds kWait{5000};

TEST(TcpSocket, TalksAndSeesTheOrderlyClose) {
    SmtpTestPeer peer;
    peer.addSession({SmtpTestPeer::say("hello\r\n"), SmtpTestPeer::hear(), SmtpTestPeer::hangUp()});
    TcpSocket socket;
    ASSERT_EQ(socket.connect("127.0.0.1", peer.port()), 0);

    std::string in;
    TcpSocket::Received r = socket.receive(in, 100, kWait);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(in, "hello\r\n");
    EXPECT_EQ(r.bytes, 7u);

    EXPECT_EQ(socket.sendAll("line\r\n", kWait), 0);
    r = socket.receive(in, 100, kWait);
    EXPECT_TRUE(r.peerClosed);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(in, "hello\r\n");
    EXPECT_EQ(peer.received(0), "line\r\n");
}

TEST(HostResolver, ALookupThatDoesNotAnswerEndsAtTheDeadline) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    auto slow = [finished](const char*, const char* service, const addrinfo* hints, addrinfo** result) {
        std::this_thread::sleep_for(milliseconds(1500));
        const int rc = ::getaddrinfo("127.0.0.1", service, hints, result);
        *finished = true;
        return rc;
    };
    HostResolver::Addresses list;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HostResolver::resolve("mail.example.org", 25, start + milliseconds(200), list, slow), 10060);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1000));
    EXPECT_FALSE(list);

    EXPECT_EQ(HostResolver::resolve("127.0.0.1", 25, std::chrono::steady_clock::now() + kWait, list), 0);
    EXPECT_TRUE(list);
    // The abandoned lookup ends on its own and frees what it found.
    for (int i = 0; i < 100 && !*finished; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(*finished);
}

TEST(TcpSocket, FailuresAreWindowsSocketsCodes) {
    TcpSocket socket(milliseconds(2000));
    EXPECT_EQ(socket.connect("127.0.0.1", static_cast<std::uint16_t>(ChildProcess::freePort())), 10061);
    EXPECT_EQ(socket.connect("no-such-host.invalid", 25), 11001);

    std::string in;
    EXPECT_EQ(socket.receive(in, 10, kWait).error, 10057);
    EXPECT_EQ(socket.sendAll("x", kWait), 10057);

    SmtpTestPeer silent;
    silent.addSession({SmtpTestPeer::goSilent()});
    ASSERT_EQ(socket.connect("127.0.0.1", silent.port()), 0);
    EXPECT_EQ(socket.receive(in, 10, milliseconds(200)).error, 10060);
    socket.close();

    HttpTestServer server;
    server.route("/reset", HttpTestServer::reset());
    ASSERT_EQ(socket.connect("127.0.0.1", server.port()), 0);
    ASSERT_EQ(socket.sendAll("GET /reset HTTP/1.1\r\n\r\n", kWait), 0);
    EXPECT_EQ(socket.receive(in, 10, kWait).error, 10054);
}

TEST(TcpSocket, ConnectGivesUpAtItsTimeout) {
    FullBacklogListener unanswered;
    if (!unanswered.full())
        GTEST_SKIP() << "this system completes every loopback connection";
    TcpSocket socket(milliseconds(300));
    EXPECT_EQ(socket.connect("127.0.0.1", unanswered.port()), 10060);
    std::string in;
    EXPECT_EQ(socket.receive(in, 1, kWait).error, 10057);
}

} // namespace
