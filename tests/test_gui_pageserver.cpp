// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback page server driven over raw sockets: pages from memory at unguessable addresses, the
// Host check, one-time addresses, and clients that send too much, too little or too many.
#include "pageserver.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

using namespace vantorel;

namespace {

// A client connected to the server, the connection established.
std::unique_ptr<QTcpSocket> connectTo(const PageServer& server) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.port());
    QSignalSpy connected(socket.get(), &QTcpSocket::connected);
    EXPECT_TRUE(connected.wait(5000));
    return socket;
}

// Sends `request` and returns everything the server says until it closes the connection.
QByteArray exchange(const PageServer& server, const QByteArray& request) {
    auto socket = connectTo(server);
    QSignalSpy closed(socket.get(), &QTcpSocket::disconnected);
    socket->write(request);
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        EXPECT_TRUE(closed.wait(5000));
    }
    return socket->readAll();
}

QByteArray get(const PageServer& server, const QString& address, const QByteArray& host = {}) {
    const QUrl url(address);
    return exchange(server, "GET " + url.path(QUrl::FullyEncoded).toLatin1() + " HTTP/1.1\r\nHost: " +
                                (host.isEmpty() ? "127.0.0.1:" + QByteArray::number(server.port()) : host) +
                                "\r\nUser-Agent: test\r\n\r\n");
}

QByteArray statusOf(const QByteArray& answer) {
    return answer.left(answer.indexOf("\r\n"));
}

QByteArray bodyOf(const QByteArray& answer) {
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

TEST(PageServer, ServesThePagesItWasGivenFromMemory) {
    PageServer server;
    const QString first = server.publish("CppWebBrowser1", "<p>one</p>");
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(first.startsWith(QStringLiteral("http://127.0.0.1:%1/").arg(server.port())));
    const QByteArray answer = get(server, first);
    EXPECT_EQ(statusOf(answer), "HTTP/1.1 200 OK");
    EXPECT_EQ(bodyOf(answer), "<p>one</p>");
    EXPECT_TRUE(answer.contains("Content-Length: 10\r\n"));

    // A new page for the same view replaces the old one at the same address; another view has its own.
    EXPECT_EQ(server.publish("CppWebBrowser1", "<p>two</p>"), first);
    const QString overview = server.publish("CppWebBrowser2", "<p>all</p>");
    EXPECT_NE(overview, first);
    EXPECT_EQ(bodyOf(get(server, first)), "<p>two</p>");
    EXPECT_EQ(bodyOf(get(server, overview)), "<p>all</p>");
    EXPECT_TRUE(server.serves(QUrl(first)));

    // Another run's server (another token), another port, or a made-up path: nothing.
    PageServer other;
    const QString elsewhere = other.publish("CppWebBrowser1", "<p>other</p>");
    const QUrl guessed(QString(first).replace(QUrl(first).path().section('/', 1, 1), "0000"));
    for (const QUrl& url : {QUrl(elsewhere), guessed, QUrl(first + "x"), QUrl("file:///tmp/Vantorel.htm")}) {
        SCOPED_TRACE(url.toString().toStdString());
        EXPECT_FALSE(server.serves(url));
    }
    EXPECT_EQ(statusOf(get(server, guessed.toString())), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(statusOf(get(server, QString(elsewhere).replace(QString::number(other.port()),
                                                              QString::number(server.port())))),
              "HTTP/1.1 404 Not Found");
}

// The program's pictures are served from memory as GIF, in the slot of the view that shows them:
// a picture replaces the view's page and the other way round.
TEST(PageServer, PicturesTakeTheirViewsPlace) {
    PageServer server;
    const QString page = server.publish("CppWebBrowser1", "<p>map</p>");
    const QString picture = server.publish("CppWebBrowser1", "GIF89a", "image/gif");
    EXPECT_NE(picture, page);
    const QByteArray answer = get(server, picture);
    EXPECT_EQ(statusOf(answer), "HTTP/1.1 200 OK");
    EXPECT_TRUE(answer.contains("\r\nContent-Type: image/gif\r\n")) << answer.constData();
    EXPECT_TRUE(answer.contains("\r\nX-Content-Type-Options: nosniff\r\n"));
    EXPECT_EQ(bodyOf(answer), "GIF89a");
    EXPECT_EQ(statusOf(get(server, page)), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(server.publish("CppWebBrowser1", "<p>again</p>"), page);
    EXPECT_EQ(statusOf(get(server, picture)), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(server.origin(), QStringLiteral("http://127.0.0.1:%1").arg(server.port()));
}

TEST(PageServer, OnlyTheLoopbackAddressAndPortAsHost) {
    PageServer server;
    const QString address = server.publish("CppWebBrowser1", "secret");
    const QByteArray port = QByteArray::number(server.port());
    const QByteArray path = QUrl(address).path(QUrl::FullyEncoded).toLatin1();
    const struct {
        QByteArray headers;
        QByteArray status;
    } cases[] = {
        {"Host: 127.0.0.1:" + port + "\r\n", "200 OK"},
        {"host:127.0.0.1:" + port + "  \r\n", "200 OK"},
        {"", "421 Misdirected Request"},
        {"Host: attacker.example:" + port + "\r\n", "421 Misdirected Request"},
        {"Host: localhost:" + port + "\r\n", "421 Misdirected Request"},
        {"Host: 127.0.0.1\r\n", "421 Misdirected Request"},
        {"Host: 127.0.0.1:" + port + "\r\nHost: attacker.example\r\n", "421 Misdirected Request"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headers.toStdString());
        const QByteArray answer = exchange(server, "GET " + path + " HTTP/1.1\r\n" + c.headers + "\r\n");
        EXPECT_EQ(statusOf(answer), "HTTP/1.1 " + c.status);
        EXPECT_EQ(bodyOf(answer).contains("secret"), c.status == "200 OK");
    }
    const QByteArray host = "\r\nHost: 127.0.0.1:" + port + "\r\n\r\n";
    EXPECT_EQ(statusOf(exchange(server, "POST " + path + " HTTP/1.1" + host)),
              "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(statusOf(exchange(server, "GET " + path + host)), "HTTP/1.1 400 Bad Request");
}

TEST(PageServer, OneTimeAddressesAnswerOnce) {
    PageServer server;
    const QString view = server.publish("CppWebBrowser1", "view");
    const QString once = server.publishOnce("for the browser");
    // It says nothing of the views' addresses, which never appear in a command line.
    EXPECT_FALSE(once.contains(QUrl(view).path().section('/', 1, 1)));
    EXPECT_FALSE(server.serves(QUrl(once)));
    EXPECT_EQ(bodyOf(get(server, once)), "for the browser");
    EXPECT_EQ(statusOf(get(server, once)), "HTTP/1.1 404 Not Found");

    // Pages nobody fetched are not kept for ever.
    const QString oldest = server.publishOnce("oldest");
    for (int i = 0; i < PageServer::kMaxOneTimePages; ++i)
        server.publishOnce("newer");
    const QString newest = server.publishOnce("newest");
    EXPECT_EQ(statusOf(get(server, oldest)), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(bodyOf(get(server, newest)), "newest");
}

TEST(PageServer, OversizedAndRepeatedRequests) {
    PageServer server;
    const QString address = server.publish("CppWebBrowser1", "page");
    const QByteArray request = "GET " + QUrl(address).path(QUrl::FullyEncoded).toLatin1() +
                               " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n";
    // A header that never ends is refused once it passes the limit.
    const QByteArray oversized =
        exchange(server, request + "X-Filler: " + QByteArray(20000, 'a') + "\r\n\r\n");
    EXPECT_EQ(statusOf(oversized), "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_FALSE(oversized.contains("page"));

    // Two requests on one connection: one answer, then the connection closes.
    const QByteArray twice = exchange(server, request + "\r\n" + request + "\r\n");
    EXPECT_EQ(twice.count("HTTP/1.1 "), 1);
    EXPECT_EQ(bodyOf(twice), "page");

    // A request that arrives in pieces is answered once it is whole.
    auto socket = connectTo(server);
    QSignalSpy closed(socket.get(), &QTcpSocket::disconnected);
    for (const char c : request + "\r\n") {
        socket->write(&c, 1);
        socket->flush();
    }
    ASSERT_TRUE(closed.wait(5000));
    EXPECT_EQ(bodyOf(socket->readAll()), "page");
    EXPECT_EQ(statusOf(get(server, address)), "HTTP/1.1 200 OK"); // the server still answers
}

TEST(PageServer, IdleClientsAreClosedAndConnectionsCapped) {
    PageServer server;
    server.setIdleTimeout(300);
    const QString address = server.publish("CppWebBrowser1", "page");
    auto idle = connectTo(server);
    QSignalSpy closed(idle.get(), &QTcpSocket::disconnected);
    idle->write("GET / HTTP/1.1\r\n"); // never finished
    ASSERT_TRUE(closed.wait(5000));
    QTRY_COMPARE(server.openConnections(), 0);

    // More silent clients than the cap: the oldest go first, the server keeps answering.
    server.setIdleTimeout(60000);
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < PageServer::kMaxConnections + 6; ++i)
        crowd.push_back(connectTo(server));
    QTRY_COMPARE(server.openConnections(), PageServer::kMaxConnections);
    for (int i = 0; i < 6; ++i)
        QTRY_COMPARE(crowd[i]->state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(crowd.back()->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(bodyOf(get(server, address)), "page");
    EXPECT_LE(server.openConnections(), PageServer::kMaxConnections);
}

} // namespace
