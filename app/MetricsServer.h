#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QTcpServer;
class QTcpSocket;

namespace vantrel {

// Serves the metrics text over HTTP on one address: GET /metrics answers
// 200 with the text, any other path 404; one request per connection. The
// server runs in the event loop of the user-interface thread, which keeps
// turning while a check pass waits for the network.
//
// A flood of connections must never starve the monitor of descriptors: at
// most kMaxConnections are held at once, and none while fewer than
// kReserveDescriptors are left for fetches, mail, the log and the history;
// every other connection is closed as soon as it is taken. With a token set,
// a request without "Authorization: Bearer <token>" gets 401.
class MetricsServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRequestBytes = 8192;
    static constexpr int kRequestTimeoutMs = 5000;
    static constexpr int kMaxConnections = 32;
    static constexpr long kReserveDescriptors = 256;

    // `render` gives the text at the moment of each request.
    MetricsServer(std::function<std::string()> render, QObject* parent = nullptr);
    ~MetricsServer() override;

    // "port", ":port", "host:port" or "[v6]:port"; a bare port listens on
    // 127.0.0.1, "localhost" is 127.0.0.1. False for anything else.
    static bool parseAddress(const QString& text, QHostAddress& host, quint16& port);

    // Reads the bearer token from `path` (a file of the user's own that no
    // one else may read; empty: no token). False, with `error`, when the
    // file cannot be used: the server is then not to be started.
    bool useTokenFile(const std::string& path, QString& error);
    // Listens on the address; on failure `error` says why. An address
    // beyond this machine is warned of (exposed()).
    bool listen(const QString& address, QString& error);
    quint16 port() const;
    // Connections held now, and those closed at once since the start.
    int connections() const { return connections_; }
    long long refused() const { return refused_; }

signals:
    // The server listens on an address other than loopback: one line for
    // the log and the window's status bar.
    void exposed(const QString& warning);

private:
    void accept();
    void readRequest(QTcpSocket* socket);
    bool authorized(const QByteArray& request) const;

    std::function<std::string()> render_;
    QTcpServer* server_ = nullptr;
    std::string token_;
    int connections_ = 0;
    long long refused_ = 0;
};

} // namespace vantrel
