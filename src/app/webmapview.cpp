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
    connect(this, &QWebEngineView::loadFinished, this,
            [this](bool) { navigationFinished(m_lastNavigation); });
}

void WebMapView::navigate(const QString& url) {
    m_lastNavigation = url;
    if (url == QLatin1String("about:blank")) {
        setUrl(QUrl(url));
        return;
    }
    // A page opened from a file sends no referrer (and the engine refuses to add one), so map
    // pages come from the program's loopback server; pictures show as files.
    const QString address = url.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)
                                ? sharedPageServer().addressOf(url)
                                : QString();
    setUrl(address.isEmpty() ? QUrl::fromLocalFile(url) : QUrl(address));
}

} // namespace vantorel
