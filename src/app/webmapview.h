// The embedded browser of the map pages: a Qt WebEngine view whose tile requests name the program
// and carry a referrer (the pages come from the program's loopback server), and whose map hands a clicked
// position back to the window.
#pragma once

#include "controller/platform.h"
#include "mapprofile.h"

#include <QObject>
#include <QWebEngineView>

namespace vantorel {

// The object the pages reach through the web channel as "vantorelPick".
class MapPickBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE void pick(double latitude, double longitude) { emit picked(latitude, longitude); }
signals:
    void picked(double latitude, double longitude);
};

class WebMapView : public QWebEngineView, public BrowserView {
    Q_OBJECT
public:
    WebMapView(const QString& name, QWidget* parent);
    // A local path shows as a file URL; "about:blank" as itself.
    void navigate(const QString& url) override;
    MapPickBridge* bridge() const { return m_bridge; }
    QString lastNavigation() const { return m_lastNavigation; }

private:
    MapPickBridge* m_bridge;
    QString m_lastNavigation;
};

} // namespace vantorel
