// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapnavigation.h"

namespace vantorel {
namespace {

bool isWeb(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

bool hostUnder(const QString& host, const QString& domain) {
    return host == domain || host.endsWith(u'.' + domain);
}

} // namespace

MapHosts::MapHosts(const QString& serverOrigin, const MapSettings& settings)
    : m_server(serverOrigin), m_google(settings.library == MapLibrary::Google) {
    // The template's placeholders are not part of a host name: "{s}.tile.example.org".
    QString tiles = settings.tileUrl;
    m_tileSubdomains = tiles.contains(QLatin1String("://{s}."));
    tiles.replace(QLatin1String("://{s}."), QLatin1String("://"));
    const QUrl url(tiles.section(u'{', 0, 0));
    if (isWeb(url) && !url.host().isEmpty()) {
        m_tileScheme = url.scheme();
        m_tileHost = url.host().toLower();
        m_tilePort = url.port(m_tileScheme == QLatin1String("https") ? 443 : 80);
    }
}

bool MapHosts::isServer(const QUrl& url) const {
    return m_server.isValid() && !m_server.isEmpty() && url.scheme() == QLatin1String("http") &&
           url.host() == m_server.host() && url.port() == m_server.port() && m_server.port() > 0;
}

bool MapHosts::isMapHost(const QUrl& url) const {
    if (!isWeb(url)) return false;
    const QString host = url.host().toLower();
    if (!m_tileHost.isEmpty() && url.scheme() == m_tileScheme &&
        url.port(m_tileScheme == QLatin1String("https") ? 443 : 80) == m_tilePort) {
        if (host == m_tileHost) return true;
        if (m_tileSubdomains && host.endsWith(u'.' + m_tileHost) &&
            !host.left(host.size() - m_tileHost.size() - 1).contains(u'.'))
            return true;
    }
    if (m_google && url.scheme() == QLatin1String("https"))
        for (const char* domain : {"google.com", "googleapis.com", "gstatic.com", "ggpht.com"})
            if (hostUnder(host, QLatin1String(domain))) return true;
    return false;
}

bool MapHosts::navigationAllowed(const QUrl& url, bool mainFrame, bool byProgram) const {
    if (url.scheme() == QLatin1String("about"))
        return url.path() == QLatin1String("blank") || url.path() == QLatin1String("srcdoc");
    if (isServer(url)) return true;
    if (url.scheme() == QLatin1String("data")) return mainFrame && byProgram;
    return !mainFrame && isMapHost(url);
}

bool MapHosts::requestAllowed(const QUrl& url) const {
    if (url.scheme() == QLatin1String("data") || url.scheme() == QLatin1String("blob")) return true;
    return isServer(url) || isMapHost(url);
}

} // namespace vantorel
