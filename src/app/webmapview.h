// The embedded browser of the map pages: a Qt WebEngine view whose tile requests name the program
// and carry a referrer (the pages come from the program's loopback server), and whose map hands a clicked
// position back to the window.
#pragma once

#include "controller/platform.h"

#include <QObject>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <functional>

class QWebEngineProfile;

namespace vantorel {

class TileRequestInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    // Test hook: sees every request of the maps' pages; returning true blocks it.
    std::function<bool(const QUrl&)> observer;
};

// The one profile of the map views: in memory only, the program's user agent, the interceptor,
// and the web channel's script in every page.
QWebEngineProfile* mapProfile();
TileRequestInterceptor* mapInterceptor();

// The object the pages reach through the web channel as "vantorelPick". Calls count only while
// `trusted` says the view shows a page the program served in this run.
class MapPickBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE void pick(double latitude, double longitude) {
        if (trusted && trusted()) emit picked(latitude, longitude);
    }
    std::function<bool()> trusted;
signals:
    void picked(double latitude, double longitude);
};

class WebMapView : public QWebEngineView, public BrowserView {
    Q_OBJECT
public:
    WebMapView(const QString& name, QWidget* parent);
    // A local path shows as a file URL; "about:blank" as itself.
    void navigate(const QString& url) override;
    // The page comes from the program's loopback server, from memory; the file is not read.
    void showPage(const QString& pagePath, const QByteArray& page) override;
    MapPickBridge* bridge() const { return m_bridge; }
    QString lastNavigation() const { return m_lastNavigation; }

private:
    MapPickBridge* m_bridge;
    QString m_lastNavigation;
};

} // namespace vantorel
