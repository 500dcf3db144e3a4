#include "webmapview.h"

#include "mapprofile.h"
#include "pageserver.h"

#include <QWebChannel>
#include <QWebEnginePage>

namespace vantorel {

WebMapView::WebMapView(const QString& name, QWidget* parent)
    : QWebEngineView(parent), m_bridge(new MapPickBridge(this)) {
    setObjectName(name);
    auto* page = new QWebEnginePage(mapProfile(), this);
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
    setUrl(url == QLatin1String("about:blank") ? QUrl(url) : QUrl::fromLocalFile(url));
}

void WebMapView::showPage(const QString& pagePath, const QByteArray& page) {
    m_lastNavigation = pagePath;
    // A page opened from a file sends no referrer (and the engine refuses to add one), so map
    // pages come from the program's loopback server.
    const QString address = sharedPageServer().publish(objectName(), page);
    if (address.isEmpty())
        setContent(page, QStringLiteral("text/html;charset=UTF-8"));
    else
        setUrl(QUrl(address));
}

} // namespace vantorel
