#include "webmapview.h"

#include "maps/mapsettings.h"
#include "pageserver.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

namespace vantorel {

void TileRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    if (observer && observer(url)) {
        info.block(true);
        return;
    }
}

TileRequestInterceptor* mapInterceptor() {
    static TileRequestInterceptor* interceptor = new TileRequestInterceptor;
    return interceptor;
}

QWebEngineProfile* mapProfile() {
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(); // off the record: nothing of the maps stays on disk
        p->setHttpUserAgent(p->httpUserAgent() + QLatin1Char(' ') + tileUserAgent());
        p->setUrlRequestInterceptor(mapInterceptor());
        // The pages are local files that draw remote tiles.
        p->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        QFile channelScript(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        if (channelScript.open(QIODevice::ReadOnly)) {
            QWebEngineScript script;
            script.setName(QStringLiteral("qwebchannel"));
            script.setSourceCode(QString::fromUtf8(channelScript.readAll()));
            script.setInjectionPoint(QWebEngineScript::DocumentCreation);
            script.setWorldId(QWebEngineScript::MainWorld);
            p->scripts()->insert(script);
        }
        return p;
    }();
    return profile;
}

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
