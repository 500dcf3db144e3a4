// SPDX-License-Identifier: GPL-3.0-or-later
// What the map views may open. Their pages come from the program's loopback server; the maps draw
// tiles from the tile server of the settings (or Google's hosts with a Google Maps key). A page can
// never take a view to a local file, to another program's server on this machine, or to any other site.
#pragma once

#include "mapsettings.h"

#include <QString>
#include <QUrl>

namespace vantorel {

// The hosts the maps draw from, for the settings in force.
class MapHosts {
public:
    // `serverOrigin`: "http://127.0.0.1:<port>" of the program's page server (empty: none yet).
    MapHosts(const QString& serverOrigin, const MapSettings& settings);
    // A view going to `url`: in its own frame (`mainFrame`) only the program's server (and
    // "about:blank"); in a frame of a page, the map hosts too. `byProgram`: the program itself asked
    // for it (a page shown from memory as a "data:" address when the server could not start).
    bool navigationAllowed(const QUrl& url, bool mainFrame, bool byProgram) const;
    // A request of a page (a script, a tile, a picture): the program's server, the map hosts, and
    // data the page holds itself ("data:", "blob:").
    bool requestAllowed(const QUrl& url) const;

private:
    bool isServer(const QUrl& url) const;
    bool isMapHost(const QUrl& url) const;

    QUrl m_server;
    QString m_tileScheme, m_tileHost; // "{s}." in the template: any one subdomain of the rest
    int m_tilePort = -1;
    bool m_tileSubdomains = false;
    bool m_google = false;
};

} // namespace vantorel
