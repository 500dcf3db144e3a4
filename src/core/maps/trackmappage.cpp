// SPDX-License-Identifier: GPL-3.0-or-later
#include "trackmappage.h"

#include "mappage.h"
#include "text/escape.h"

#include <algorithm>
#include <cmath>

namespace vantorel {
namespace {

const char kTrackScript[] = R"JS(
var map = vantorelBaseMap(L.latLng(0, 0), 2);
var line = L.polyline(vantorelSegments, {color: '#1f5fd6', weight: 3, opacity: 0.8}).addTo(map);
if (vantorelSegments.length) map.fitBounds(line.getBounds(), {padding: [20, 20]});
var photoLayer = L.featureGroup().addTo(map);
window.vantorelTrackPhotos = function (points) {
photoLayer.clearLayers();
for (var i = 0; i < points.length; i++) {
var lon = points[i][1];
while (lon - vantorelCentreLongitude > 180) lon -= 360;
while (lon - vantorelCentreLongitude < -180) lon += 360;
L.circleMarker([points[i][0], lon], {radius: 6, weight: 2, color: '#b00000', fillColor: '#ff3030',
fillOpacity: 0.9}).bindTooltip(vantorelText('span', points[i][2])).addTo(photoLayer);
}
window.vantorelTrack = {photos: points, fixes: vantorelFixCount};
};
vantorelTrackPhotos(vantorelInitialPhotos);)JS";

QByteArray coordinate(double value) {
    return QByteArray::number(value, 'f', 7);
}

QByteArray photoArray(const QVector<TrackMapPhoto>& photos) {
    QByteArray out = "[";
    for (qsizetype i = 0; i < photos.size(); ++i) {
        if (i) out += ',';
        out += '[' + coordinate(photos[i].latitude) + ',' + coordinate(photos[i].longitude) + ',' +
               jsStringLiteral(photos[i].name).toUtf8() + ']';
    }
    return out + ']';
}

} // namespace

QByteArray BuildTrackMapPage(const std::vector<TrackFix>& fixes, const QVector<TrackMapPhoto>& photos,
                             MapSettings settings) {
    settings.library = MapLibrary::Leaflet;
    QByteArray page = mapPageHead(settings);
    const size_t step = fixes.size() > size_t(kTrackMapMaxFixes) ? fixes.size() / kTrackMapMaxFixes + 1 : 1;
    page.reserve(page.size() + qsizetype(fixes.size() / step) * 28 + photos.size() * 64 + 2048);
    page += "\nvar vantorelSegments = [";
    // Longitudes are unwrapped along the track (179.9 then 180.1, not -179.9): a track across the
    // 180th meridian is drawn the short way and the map fits it, not the whole world.
    double previous = 0, west = 0, east = 0;
    for (size_t i = 0; i < fixes.size(); ++i) {
        double longitude = fixes[i].longitude;
        if (i) {
            longitude += 360 * std::round((previous - longitude) / 360);
            west = std::min(west, longitude);
            east = std::max(east, longitude);
        } else {
            west = east = longitude;
        }
        previous = longitude;
        const bool first = i == 0 || fixes[i - 1].segment != fixes[i].segment;
        const bool last = i + 1 == fixes.size() || fixes[i + 1].segment != fixes[i].segment;
        if (!first && !last && i % step) continue;
        if (first)
            page += i ? "],\n[" : "\n[";
        else
            page += ',';
        page += '[' + coordinate(fixes[i].latitude) + ',' + coordinate(longitude) + ']';
    }
    if (!fixes.empty()) page += ']';
    page += "];";
    page += "\nvar vantorelCentreLongitude = " + coordinate((west + east) / 2) + ";";
    page += "\nvar vantorelFixCount = " + QByteArray::number(qulonglong(fixes.size())) + ";";
    page += "\nvar vantorelInitialPhotos = " + photoArray(photos) + ";";
    page += kTrackScript;
    page += mapPageTail(settings);
    return page;
}

QString trackMarkersScript(const QVector<TrackMapPhoto>& photos) {
    return QStringLiteral("vantorelTrackPhotos(") + QString::fromUtf8(photoArray(photos)) +
           QStringLiteral(");");
}

} // namespace vantorel
