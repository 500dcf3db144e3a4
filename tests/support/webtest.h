// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces of the tests that run the real web engine: a loopback tile server that answers every
// request with one fixed response and keeps the heads of the requests it got (nothing leaves the
// machine), and a script run in a view with its result.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace vantorel::test {

struct TileServer {
    QTcpServer server;
    QList<QByteArray> requests;
    QByteArray response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

    TileServer() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray head = s->readAll();
                    requests << head;
                    s->write(response);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    // Answers with `body` as a PNG tile the client may keep for `maxAge` seconds.
    void serveTiles(const QByteArray& body, int maxAge) {
        response = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nCache-Control: public, max-age=" +
                   QByteArray::number(maxAge) + "\r\nAccess-Control-Allow-Origin: *\r\nContent-Length: " +
                   QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
    // Refuses every tile with `status`, as a server that blocks the program would.
    void refuse(int status, const QByteArray& reason) {
        response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                   "\r\nAccess-Control-Allow-Origin: *\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }
    QString urlTemplate() const {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server.serverPort());
    }
};

inline QVariant evaluate(QWebEngineView& view, const QString& code) {
    QVariant result;
    bool done = false;
    view.page()->runJavaScript(code, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i)
        QTest::qWait(25);
    return result;
}

} // namespace vantorel::test
