#include "app/MetricsServer.h"

#include "monitor/MetricsText.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace vantrel {

MetricsServer::MetricsServer(std::function<std::string()> render, QObject* parent)
    : QObject(parent), render_(std::move(render)), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &MetricsServer::accept);
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::parseAddress(const QString& text, QHostAddress& host, quint16& port) {
    QString hostText, portText;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('['))) {
        const int close = t.indexOf(QStringLiteral("]:"));
        if (close < 0)
            return false;
        hostText = t.mid(1, close - 1);
        portText = t.mid(close + 2);
    } else if (const int colon = t.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        hostText = t.left(colon);
        portText = t.mid(colon + 1);
    } else {
        portText = t;
    }
    bool ok = false;
    const uint p = portText.toUInt(&ok);
    if (!ok || p == 0 || p > 65535)
        return false;
    port = static_cast<quint16>(p);
    if (hostText.isEmpty() || hostText == QLatin1String("localhost"))
        host = QHostAddress(QHostAddress::LocalHost);
    else if (!host.setAddress(hostText))
        return false;
    return true;
}

bool MetricsServer::listen(const QString& address, QString& error) {
    QHostAddress host;
    quint16 port = 0;
    if (!parseAddress(address, host, port)) {
        error = QStringLiteral("not an address and port");
        return false;
    }
    if (!server_->listen(host, port)) {
        error = server_->errorString();
        return false;
    }
    return true;
}

quint16 MetricsServer::port() const {
    return server_->serverPort();
}

void MetricsServer::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A client that never finishes its request is dropped.
        QTimer::singleShot(kRequestTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void MetricsServer::readRequest(QTcpSocket* socket) {
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    const int end = request.indexOf("\r\n\r\n");
    if (end < 0) {
        if (request.size() > kMaxRequestBytes)
            socket->abort();
        else
            socket->setProperty("request", request);
        return;
    }
    socket->setProperty("request", QByteArray());
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const bool isGet = words.size() == 3 && (words[0] == "GET" || words[0] == "HEAD");
    const QByteArray path = isGet ? words[1].split('?').constFirst() : QByteArray();
    QByteArray status, type, body;
    if (!isGet) {
        status = "405 Method Not Allowed";
        type = "text/plain";
        body = "Only GET is served.\n";
    } else if (path == "/metrics") {
        status = "200 OK";
        type = MetricsText::kContentType;
        body = QByteArray::fromStdString(render_());
    } else {
        status = "404 Not Found";
        type = "text/plain";
        body = "Metrics are at /metrics.\n";
    }
    QByteArray response = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                          "\r\nContent-Length: " + QByteArray::number(body.size()) +
                          "\r\nConnection: close\r\n\r\n";
    if (!(isGet && words[0] == "HEAD"))
        response += body;
    socket->write(response);
    socket->disconnectFromHost();
}

} // namespace vantrel
