// SPDX-License-Identifier: GPL-3.0-or-later
#include "placingmappage.h"

#include "mappage.h"

#include <algorithm>

namespace vantorel {
namespace {

constexpr int kPointZoom = 13;

QByteArray number(double v) {
    return QByteArray::number(v, 'f', 6);
}

} // namespace

PlacingFrame placingFrame(const std::optional<QPointF>& last, const QList<QPointF>& photos) {
    PlacingFrame f;
    if (!last && photos.isEmpty()) return f; // the world
    const QList<QPointF> points = last ? QList<QPointF>{*last} : photos;
    f.south = f.north = points[0].y();
    f.west = f.east = points[0].x();
    for (const QPointF& p : points) {
        f.south = std::min(f.south, p.y());
        f.north = std::max(f.north, p.y());
        f.west = std::min(f.west, p.x());
        f.east = std::max(f.east, p.x());
    }
    f.zoom = kPointZoom;
    return f;
}

QByteArray BuildPlacingMapPage(const PlacingFrame& f, const MapSettings& settings) {
    const QByteArray centre = number((f.south + f.north) / 2) + ", " + number((f.west + f.east) / 2);
    const bool onePoint = f.south == f.north && f.west == f.east;
    QByteArray page = mapPageHead(settings);
    if (settings.library == MapLibrary::Google) {
        page += "\nvar map = new google.maps.Map(document.getElementById('map-canvas'), {zoom: " +
                QByteArray::number(f.zoom) + ", center: new google.maps.LatLng(" + centre +
                "), mapTypeId: google.maps.MapTypeId.ROADMAP});";
        if (!onePoint)
            page += "\nmap.fitBounds(new google.maps.LatLngBounds(new google.maps.LatLng(" + number(f.south) +
                    ", " + number(f.west) + "), new google.maps.LatLng(" + number(f.north) + ", " +
                    number(f.east) + ")));";
    } else {
        page += "\nvar map = vantorelBaseMap(L.latLng(" + centre + "), " + QByteArray::number(f.zoom) + ");";
        if (!onePoint)
            page += "\nmap.fitBounds([[" + number(f.south) + ", " + number(f.west) + "], [" +
                    number(f.north) + ", " + number(f.east) +
                    "]], {maxZoom: " + QByteArray::number(kPointZoom) + "});";
        page += "\nvantorelPicks(map, null);";
    }
    page += mapPageTail(settings);
    return page;
}

} // namespace vantorel
