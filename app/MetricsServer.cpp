#include "app/MetricsServer.h"

#include "monitor/MetricsText.h"
#include "platform/OpenFiles.h"
#include "platform/SecretFile.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace vantrel {

MetricsServer::MetricsServer(std::function<std::string()> render, QObject* parent)
    : QObject(parent), render_(std::move(render)), server_(new QTcpServer(this)) {
    // Qt takes no more than this from the kernel before they are handed out.
    server_->setMaxPendingConnections(kMaxConnections);
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

bool MetricsServer::useTokenFile(const std::string& path, QString& error) {
    token_.clear();
    if (path.empty())
        return true;
    SecretFile::Result r = SecretFile::read(path, "metrics token file");
    if (r.status != SecretFile::Status::Ok || r.secret.empty()) {
        error = QString::fromStdString(r.status == SecretFile::Status::Ok
                                           ? "The metrics token file " + path + " holds no token."
                                           : r.message);
        return false;
    }
    token_ = std::move(r.secret);
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
    if (!host.isLoopback()) {
        const QString warning =
            token_.empty()
                ? QStringLiteral("Metrics are served on %1 beyond this machine, without a token: anyone who "
                                 "reaches it reads every site's title and state.")
                      .arg(address)
                : QStringLiteral("Metrics are served on %1 beyond this machine; requests need the token.")
                      .arg(address);
        std::fprintf(stderr, "Metrics: %s\n", warning.toUtf8().constData());
        std::fflush(stderr);
        emit exposed(warning);
    }
    return true;
}

quint16 MetricsServer::port() const {
    return server_->serverPort();
}

void MetricsServer::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (connections_ >= kMaxConnections || !OpenFiles::spare(kReserveDescriptors)) {
            // Closed at once: its descriptor is back before the next one comes.
            ++refused_;
            socket->abort();
            delete socket;
            continue;
        }
        ++connections_;
        connect(socket, &QObject::destroyed, this, [this] { --connections_; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A client that never finishes its request is dropped.
        QTimer::singleShot(kRequestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
    }
}

// "Authorization: Bearer <token>" among the request's header lines, the
// token compared in a time that does not depend on where it differs.
bool MetricsServer::authorized(const QByteArray& request) const {
    if (token_.empty())
        return true;
    const QList<QByteArray> lines = request.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "authorization")
            continue;
        const QList<QByteArray> words = line.mid(colon + 1).simplified().split(' ');
        if (words.size() != 2 || words[0].toLower() != "bearer")
            return false;
        const QByteArray& given = words[1];
        unsigned char differs = given.size() != static_cast<qsizetype>(token_.size());
        for (size_t k = 0; k < token_.size(); ++k)
            differs |= static_cast<unsigned char>(
                token_[k] ^
                (static_cast<qsizetype>(k) < given.size() ? given[static_cast<qsizetype>(k)] : 0));
        return differs == 0;
    }
    return false;
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
    QByteArray status, type, body, extra;
    if (!authorized(request.left(end))) {
        status = "401 Unauthorized";
        type = "text/plain";
        body = "A bearer token is needed.\n";
        extra = "WWW-Authenticate: Bearer\r\n";
    } else if (!isGet) {
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
                          "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extra +
                          "Connection: close\r\n\r\n";
    if (!(isGet && words[0] == "HEAD"))
        response += body;
    socket->write(response);
    socket->disconnectFromHost();
}

} // namespace vantrel
