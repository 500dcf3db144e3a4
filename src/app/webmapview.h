// SPDX-License-Identifier: GPL-3.0-or-later
// The embedded browser of the map pages: a Qt WebEngine view whose tile requests name the program
// and carry a referrer (the pages come from the program's loopback server), and whose map hands a clicked
// position back to the window.
#pragma once

#include "controller/platform.h"
#include "mapprofile.h"

#include <QObject>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace vantorel {

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

// The maps' page: it goes nowhere but the program's server (and, in frames of a map, the map hosts);
// any other navigation, a local file first of all, is refused.
class MapWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;
signals:
    void navigationRefused(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

class WebMapView : public QWebEngineView, public BrowserView {
    Q_OBJECT
public:
    WebMapView(const QString& name, QWidget* parent);
    // "about:blank" and web addresses as themselves; a local path or a file: address is never
    // opened (a blank page instead).
    void navigate(const QString& url) override;
    // The page comes from the program's loopback server, from memory; the file is not read.
    void showPage(const QString& pagePath, const QByteArray& page) override;
    // The picture too, served from memory as a GIF.
    void showPicture(const QString& path, const QByteArray& picture) override;
    MapPickBridge* bridge() const { return m_bridge; }
    QString lastNavigation() const { return m_lastNavigation; }

private:
    MapPickBridge* m_bridge;
    QString m_lastNavigation;
};

} // namespace vantorel
