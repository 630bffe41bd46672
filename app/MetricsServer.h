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
class MetricsServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRequestBytes = 8192;
    static constexpr int kRequestTimeoutMs = 5000;

    // `render` gives the text at the moment of each request.
    MetricsServer(std::function<std::string()> render, QObject* parent = nullptr);
    ~MetricsServer() override;

    // "port", ":port", "host:port" or "[v6]:port"; a bare port listens on
    // 127.0.0.1, "localhost" is 127.0.0.1. False for anything else.
    static bool parseAddress(const QString& text, QHostAddress& host, quint16& port);

    // Listens on the address; on failure `error` says why.
    bool listen(const QString& address, QString& error);
    quint16 port() const;

private:
    void accept();
    void readRequest(QTcpSocket* socket);

    std::function<std::string()> render_;
    QTcpServer* server_ = nullptr;
};

} // namespace vantrel
