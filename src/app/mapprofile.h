// SPDX-License-Identifier: GPL-3.0-or-later
// The one web profile of the map views: its HTTP cache on disk in $XDG_CACHE_HOME/vantorel (a folder
// of this user's only, else no disk cache), bounded by vantorel.ini's tileCacheSize, so tiles are
// fetched once per expiry; no cookies, and its page storage (history, local and session storage,
// visited links, preferences) in a folder of the run that goes with it; the program's user agent;
// requests only to the program's server and the map hosts; the web channel's script in every page.
#pragma once

#include "maps/mapnavigation.h"
#include "maps/mapsettings.h"

#include <QWebEngineUrlRequestInterceptor>
#include <functional>
#include <optional>

class QWebEngineProfile;

namespace vantorel {

class TileRequestInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    // The maps' settings, whose hosts the pages may reach (with the program's server).
    void setSettings(const MapSettings& settings);
    // The hosts in force now (the page server's port is known once it serves).
    MapHosts hosts();
    // Test hook: sees every request of the maps' pages; returning true blocks it.
    std::function<bool(const QUrl&)> observer;

private:
    MapSettings m_settings;
    QString m_origin;
    std::optional<MapHosts> m_hosts;
};

QWebEngineProfile* mapProfile();
TileRequestInterceptor* mapInterceptor();

} // namespace vantorel
