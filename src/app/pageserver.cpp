#include "pageserver.h"

#include "files/regularfile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <unistd.h>

namespace vantorel {

PageServer::PageServer(QObject* parent) : QObject(parent) {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    m_token = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

PageServer& sharedPageServer() {
    static PageServer* server = new PageServer;
    return *server;
}

QString PageServer::addressOf(const QString& path) {
    if (!m_server.isListening() && !m_server.listen(QHostAddress::LocalHost, 0)) return {};
    m_path = path;
    return QStringLiteral("http://127.0.0.1:%1/%2/%3")
        .arg(m_server.serverPort())
        .arg(m_token, QFileInfo(path).fileName());
}

void PageServer::answer(QTcpSocket* socket) {
    // Only the request line matters; a request that does not fit in 8 KiB is refused.
    if (!socket->canReadLine() && socket->bytesAvailable() < 8192) return;
    const QList<QByteArray> request = socket->readLine(8192).trimmed().split(' ');
    const QByteArray expected = "/" + m_token.toLatin1() + "/" + QFileInfo(m_path).fileName().toUtf8();
    QByteArray body;
    QByteArray status = "404 Not Found";
    if (request.size() == 3 && request[0] == "GET" && request[1] == expected) {
        const int fd = openRegularFile(m_path);
        if (fd >= 0) {
            if (const auto bytes = readWholeFile(fd, 64 << 20)) {
                body = *bytes;
                status = "200 OK";
            }
            ::close(fd);
        }
    }
    socket->write("HTTP/1.1 " + status +
                  "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                  "Referrer-Policy: origin\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

} // namespace vantorel
