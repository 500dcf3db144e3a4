// SPDX-License-Identifier: GPL-3.0-or-later
#include "pageserver.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace vantorel {
namespace {

// `bytes` random bytes as hexadecimal digits.
QByteArray randomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char& c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    return raw.toHex();
}

QByteArray response(const QByteArray& status, const QByteArray& body = {},
                    const QByteArray& type = "text/html; charset=utf-8") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nCache-Control: no-store\r\n"
           "X-Content-Type-Options: nosniff\r\nReferrer-Policy: origin\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

PageServer::PageServer(QObject* parent) : QObject(parent), m_token(randomHex(32)) {
    connect(&m_server, &QTcpServer::newConnection, this, &PageServer::accept);
}

PageServer::~PageServer() {
    // The sockets outlive the list of clients (the server owns them): they must not call back.
    for (const Client& client : std::as_const(m_clients))
        client.socket->disconnect(this);
}

PageServer& sharedPageServer() {
    static PageServer* server = new PageServer;
    return *server;
}

bool PageServer::listen() {
    return m_server.isListening() || m_server.listen(QHostAddress::LocalHost, 0);
}

QString PageServer::addressOf(const QByteArray& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(QString::fromLatin1(path));
}

QString PageServer::publish(const QString& slot, const QByteArray& page, const QByteArray& contentType) {
    if (!listen()) return {};
    const bool html = contentType.startsWith("text/html");
    const QByteArray path =
        "/" + m_token + "/" + QUrl::toPercentEncoding(slot) + (html ? "/Vantorel.htm" : "/image");
    // One page per slot: a picture replaces the page and the other way round.
    m_pages.remove("/" + m_token + "/" + QUrl::toPercentEncoding(slot) + (html ? "/image" : "/Vantorel.htm"));
    m_pages.insert(path, Page{page, contentType});
    return addressOf(path);
}

QString PageServer::origin() const {
    if (!m_server.isListening()) return {};
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

QString PageServer::publishOnce(const QByteArray& page) {
    if (!listen()) return {};
    // Not under the run's token: this address is seen in the browser's command line.
    const QByteArray path = "/once/" + randomHex(32) + "/Vantorel.htm";
    m_oneTimePages.insert(path, page);
    m_oneTimePaths << path;
    while (m_oneTimePaths.size() > kMaxOneTimePages)
        m_oneTimePages.remove(m_oneTimePaths.takeFirst());
    return addressOf(path);
}

bool PageServer::serves(const QUrl& url) const {
    return m_server.isListening() && url.scheme() == QLatin1String("http") &&
           url.host() == QLatin1String("127.0.0.1") && url.port() == port() &&
           m_pages.contains(url.path(QUrl::FullyEncoded).toLatin1());
}

PageServer::Client* PageServer::clientOf(QTcpSocket* socket) {
    for (Client& client : m_clients)
        if (client.socket == socket) return &client;
    return nullptr;
}

void PageServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_clients.size() >= kMaxConnections) {
            // Room for the newcomer: the oldest that is still silent goes, else the oldest.
            auto idle =
                std::find_if(m_clients.begin(), m_clients.end(), [](const Client& c) { return !c.answered; });
            forget(idle != m_clients.end() ? idle->socket : m_clients.first().socket);
        }
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        m_clients.append(Client{socket, timer, {}, false});
        connect(timer, &QTimer::timeout, this, [this, socket] { forget(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
        // A slow reader of a long page is not idle while the page goes out.
        connect(socket, &QTcpSocket::bytesWritten, timer, [this, timer] { timer->start(m_idleMs); });
        timer->start(m_idleMs);
        if (socket->bytesAvailable() > 0) read(socket);
    }
}

void PageServer::read(QTcpSocket* socket) {
    Client* client = clientOf(socket);
    if (!client) return;
    if (client->answered) {
        socket->readAll(); // one request per connection: what follows is dropped
        return;
    }
    client->head += socket->read(kMaxRequest + 1 - client->head.size());
    const bool complete = client->head.contains("\r\n\r\n");
    if (!complete && client->head.size() <= kMaxRequest) return;
    client->answered = true;
    socket->write(complete ? respond(client->head) : response("431 Request Header Fields Too Large"));
    client->head.clear();
    client->idle->start(m_idleMs);
    socket->disconnectFromHost();
}

QByteArray PageServer::respond(const QByteArray& head) {
    const QList<QByteArray> lines = head.left(head.indexOf("\r\n\r\n")).split('\n');
    const QList<QByteArray> request = lines.first().trimmed().split(' ');
    if (request.size() != 3 || !request[2].startsWith("HTTP/1.")) return response("400 Bad Request");
    // Only this machine's address and port: a page of another site whose name points here
    // (DNS rebinding) sends its own name and gets nothing, even with the token.
    const QByteArray expectedHost = "127.0.0.1:" + QByteArray::number(port());
    int hosts = 0;
    bool hostMatches = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).trimmed().toLower() != "host") continue;
        ++hosts;
        hostMatches = line.mid(colon + 1).trimmed() == expectedHost;
    }
    if (hosts != 1 || !hostMatches) return response("421 Misdirected Request");
    if (request[0] != "GET") return response("405 Method Not Allowed");
    const QByteArray& path = request[1];
    if (const auto page = m_pages.constFind(path); page != m_pages.constEnd())
        return response("200 OK", page->body, page->type);
    if (m_oneTimePages.contains(path)) {
        m_oneTimePaths.removeOne(path);
        return response("200 OK", m_oneTimePages.take(path));
    }
    return response("404 Not Found");
}

void PageServer::forget(QTcpSocket* socket) {
    const auto found = std::find_if(m_clients.begin(), m_clients.end(),
                                    [socket](const Client& c) { return c.socket == socket; });
    if (found == m_clients.end()) return;
    m_clients.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace vantorel
