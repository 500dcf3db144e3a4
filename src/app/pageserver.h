// Serves the map page to the user's own browser from this machine only, at an address no one can
// guess, so that the map's tile requests carry a referrer and other users cannot read the page.
#pragma once

#include <QString>
#include <QTcpServer>

namespace vantorel {

class PageServer : public QObject {
public:
    explicit PageServer(QObject* parent = nullptr);
    // The address of the page at `path`; empty when no loopback port could be opened.
    QString addressOf(const QString& path);

private:
    void answer(QTcpSocket* socket);

    QTcpServer m_server;
    QString m_token;
    QString m_path;
};

// The one server of the program, shared by the embedded views and the user's browser.
PageServer& sharedPageServer();

} // namespace vantorel
