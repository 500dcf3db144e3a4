// SPDX-License-Identifier: GPL-3.0-or-later
// The program's loopback page server against Qt's own HTTP server (QHttpServer), measured the same
// way in one run: the connections still open after idle clients waited past the idle limit, and
// the time to serve a map page many times over.
//   QT_QPA_PLATFORM=offscreen build/bench/page_server_bench [idle clients] [requests]
#include "pageserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

using namespace vantorel;

namespace {

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Clients that connect and send half a request, then nothing: how many are still connected later.
int stillOpen(quint16 port, int clients, int afterMs) {
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < clients; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost(QHostAddress::LocalHost, port);
        crowd.back()->write("GET / HTTP/1.1\r\n");
    }
    wait(afterMs);
    int open = 0;
    for (const auto& socket : crowd)
        open += socket->state() == QAbstractSocket::ConnectedState;
    return open;
}

// Milliseconds to fetch `path` `count` times, one connection after another.
double serveMs(quint16 port, const QByteArray& path, int count, qint64 pageSize) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                     "\r\nConnection: close\r\n\r\n");
        QByteArray answer;
        while (answer.size() < pageSize && socket.state() != QAbstractSocket::UnconnectedState) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            answer += socket.readAll();
        }
        if (answer.size() < pageSize) return -1;
    }
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int clients = argc > 1 ? atoi(argv[1]) : 200;
    const int requests = argc > 2 ? atoi(argv[2]) : 300;
    const QByteArray page(300 * 1024, 'x');

    PageServer ours;
    const QByteArray ourPath = QUrl(ours.publish(QStringLiteral("CppWebBrowser1"), page)).path().toLatin1();
    QHttpServer peer;
    peer.route("/page", [&page] { return QHttpServerResponse("text/html", page); });
    const quint16 peerPort = peer.listen(QHostAddress::LocalHost, 0);

    // Twice the idle limit: a crowd beyond the listen backlog is accepted over a few seconds.
    const int waitMs = 2 * PageServer::kIdleMs + 1000;
    const int oursOpen = stillOpen(ours.port(), clients, waitMs);
    const int peerOpen = stillOpen(peerPort, clients, waitMs);
    std::printf("idle clients still connected after %d s: %d of %d (peer QHttpServer %d of %d)\n",
                waitMs / 1000, oursOpen, clients, peerOpen, clients);
    const double oursMs = serveMs(ours.port(), ourPath, requests, page.size());
    const double peerMs = serveMs(peerPort, "/page", requests, page.size());
    std::printf("%d requests of a %lld KiB page: %.0f ms (peer QHttpServer %.0f ms)\n", requests,
                static_cast<long long>(page.size() / 1024), oursMs, peerMs);
    return 0;
}
