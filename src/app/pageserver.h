// SPDX-License-Identifier: GPL-3.0-or-later
// Serves the map pages to the program's own views and the user's browser from this machine only,
// at addresses no one can guess, so that the map's tile requests carry a referrer and other users
// can neither read a page nor put one of theirs in its place. Pages are served from memory.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QTcpServer>

class QTcpSocket;
class QTimer;

namespace vantorel {

class PageServer : public QObject {
public:
    // At most this many connections are open; a new one closes the oldest.
    static constexpr int kMaxConnections = 64;
    // A request header larger than this is refused.
    static constexpr int kMaxRequest = 8192;
    // A connection that has not sent a whole request within this time is closed.
    static constexpr int kIdleMs = 10000;
    // One-time pages nobody fetched that are kept at most (the oldest go first).
    static constexpr int kMaxOneTimePages = 8;

    explicit PageServer(QObject* parent = nullptr);
    ~PageServer() override;
    // The address of `page` for the view named `slot`; a new page for the same slot replaces the
    // previous one. Empty when no loopback port could be opened. `contentType` other than HTML
    // (one of the program's pictures) is served as given, never sniffed.
    QString publish(const QString& slot, const QByteArray& page,
                    const QByteArray& contentType = QByteArrayLiteral("text/html; charset=utf-8"));
    // An address that serves `page` once: the first request takes it, later ones find nothing.
    QString publishOnce(const QByteArray& page);
    // Whether `url` is one of this server's page addresses in this run.
    bool serves(const QUrl& url) const;
    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:<port>", the origin of every page it serves; empty before the first page.
    QString origin() const;
    int openConnections() const { return int(m_clients.size()); }
    // Test hook: a shorter wait for idle clients.
    void setIdleTimeout(int ms) { m_idleMs = ms; }

private:
    bool listen();
    QString addressOf(const QByteArray& path) const;
    void accept();
    void read(QTcpSocket* socket);
    QByteArray respond(const QByteArray& head);
    void forget(QTcpSocket* socket);

    struct Client {
        QTcpSocket* socket;
        QTimer* idle;
        QByteArray head;
        bool answered = false;
    };
    Client* clientOf(QTcpSocket* socket);

    QTcpServer m_server;
    QByteArray m_token;
    struct Page {
        QByteArray body, type;
    };
    QHash<QByteArray, Page> m_pages;              // the views' pages, by path
    QHash<QByteArray, QByteArray> m_oneTimePages; // by path
    QList<QByteArray> m_oneTimePaths;             // oldest first
    QList<Client> m_clients;                      // oldest first
    int m_idleMs = kIdleMs;
};

// The one server of the program, shared by the embedded views and the user's browser.
PageServer& sharedPageServer();

} // namespace vantorel
