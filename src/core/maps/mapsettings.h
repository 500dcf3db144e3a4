// SPDX-License-Identifier: GPL-3.0-or-later
// Which map library the pages use and where their tiles come from: Leaflet with OpenStreetMap
// tiles by default, the Google Maps loader when the user has a key.
#pragma once

#include <QString>

namespace vantorel {

enum class MapLibrary { Leaflet, Google };

struct MapSettings {
    MapLibrary library = MapLibrary::Leaflet;
    QString googleMapsKey; // added to the loader's query when not empty
    QString tileUrl = QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    QString tileAttribution = QStringLiteral(
        "&copy; <a href=\"https://www.openstreetmap.org/copyright\">OpenStreetMap</a> contributors");
    int tileCacheMegabytes = 200; // bound of the maps' HTTP cache on disk
};

// The settings file of the user (~/.config/vantorel/vantorel.ini, group [maps]: googleMapsKey,
// tileUrl, tileAttribution, tileCacheSize in megabytes); VANTOREL_GOOGLE_MAPS_KEY overrides the key. With a
// key the pages use Google Maps.
MapSettings loadMapSettings();

// What the program says it is to tile servers.
QString tileUserAgent();

// Where the maps keep their HTTP cache: $XDG_CACHE_HOME/vantorel (~/.cache/vantorel).
QString mapCacheFolder();

// mapCacheFolder() when it is (or can be made) a folder of this user's that no one else may enter,
// not a link; empty otherwise (with `why`): the maps then keep their tiles in memory only. A cache
// another user made, or can read, would tell them which tiles were viewed, so where the photos are.
QString checkedMapCacheFolder(QString* why = nullptr);

} // namespace vantorel
