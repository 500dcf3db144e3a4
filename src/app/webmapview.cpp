// SPDX-License-Identifier: GPL-3.0-or-later
#include "webmapview.h"

#include "mapprofile.h"
#include "pageserver.h"

#include <QLoggingCategory>
#include <QWebChannel>

Q_DECLARE_LOGGING_CATEGORY(lcMaps)

namespace vantorel {

bool MapWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    const bool allowed =
        mapInterceptor()->hosts().navigationAllowed(url, isMainFrame, type == NavigationTypeTyped);
    if (!allowed) {
        qCInfo(lcMaps, "Navigation refusée : %s", qUtf8Printable(url.toDisplayString(QUrl::RemoveQuery)));
        emit navigationRefused(url);
    }
    return allowed;
}

WebMapView::WebMapView(const QString& name, QWidget* parent)
    : QWebEngineView(parent), m_bridge(new MapPickBridge(this)) {
    setObjectName(name);
    auto* page = new MapWebPage(mapProfile(), this);
    auto* channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("vantorelPick"), m_bridge);
    page->setWebChannel(channel);
    setPage(page);
    m_bridge->trusted = [page] { return sharedPageServer().serves(page->url()); };
    connect(this, &QWebEngineView::loadFinished, this,
            [this](bool) { navigationFinished(m_lastNavigation); });
}

void WebMapView::navigate(const QString& url) {
    m_lastNavigation = url;
    const QUrl address(url);
    // A local path (or a file: address) is never opened: pages and pictures come from memory.
    if (address.scheme() == QLatin1String("about") || address.scheme() == QLatin1String("http") ||
        address.scheme() == QLatin1String("https"))
        setUrl(address);
    else
        setUrl(QUrl(QStringLiteral("about:blank")));
}

void WebMapView::showPage(const QString& pagePath, const QByteArray& page) {
    m_lastNavigation = pagePath;
    // A page opened from a file sends no referrer (and the engine refuses to add one), and may read
    // other files: map pages come from the program's loopback server, from memory.
    const QString address = sharedPageServer().publish(objectName(), page);
    if (address.isEmpty())
        setContent(page, QStringLiteral("text/html;charset=UTF-8"));
    else
        setUrl(QUrl(address));
}

void WebMapView::showPicture(const QString& path, const QByteArray& picture) {
    m_lastNavigation = path;
    const QString address = sharedPageServer().publish(objectName(), picture, QByteArrayLiteral("image/gif"));
    setUrl(QUrl(address.isEmpty() ? QStringLiteral("about:blank") : address));
}

} // namespace vantorel
