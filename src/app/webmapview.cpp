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
