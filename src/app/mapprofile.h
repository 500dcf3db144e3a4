// The one web profile of the map views, kept on disk so tiles are fetched once per expiry: its
// HTTP cache in $XDG_CACHE_HOME/vantorel, bounded by vantorel.ini's tileCacheSize; no cookies and
// no page storage; the program's user agent, the request interceptor, and the web channel's script
// in every page.
#pragma once

#include <QWebEngineUrlRequestInterceptor>
#include <functional>

class QWebEngineProfile;

namespace vantorel {

class TileRequestInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    // Test hook: sees every request of the maps' pages; returning true blocks it.
    std::function<bool(const QUrl&)> observer;
};

QWebEngineProfile* mapProfile();
TileRequestInterceptor* mapInterceptor();

} // namespace vantorel
