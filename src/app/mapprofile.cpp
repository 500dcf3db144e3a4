#include "mapprofile.h"

#include "maps/mapsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QWebEngineCookieStore>
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
        const QString folder = mapCacheFolder();
        QDir().mkpath(folder);
        // A named profile is kept on disk; its pages are deleted with the application's windows, and
        // it goes last, when the application ends, so the engine closes its cache cleanly.
        auto* p = new QWebEngineProfile(QStringLiteral("maps"), QCoreApplication::instance());
        p->setCachePath(folder);
        p->setPersistentStoragePath(folder + QStringLiteral("/storage"));
        p->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        p->setHttpCacheMaximumSize(loadMapSettings().tileCacheMegabytes * 1024 * 1024);
        p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        p->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest&) { return false; });
        p->setHttpUserAgent(p->httpUserAgent() + QLatin1Char(' ') + tileUserAgent());
        p->setUrlRequestInterceptor(mapInterceptor());
        QWebEngineSettings* settings = p->settings();
        settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
        // The pages are local files that draw remote tiles.
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
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

} // namespace vantorel
