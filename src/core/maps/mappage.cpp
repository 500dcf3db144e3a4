// SPDX-License-Identifier: GPL-3.0-or-later
#include "mappage.h"

#include "text/escape.h"
#include <QUrl>

#include <QFile>
#include <QRegularExpression>

namespace vantorel {
namespace {

const QString kLeafletDir = QStringLiteral("/usr/share/javascript/leaflet/");

QByteArray readAsset(const QString& name) {
    QFile file(kLeafletDir + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QByteArray dataUrl(const QString& name) {
    const QByteArray bytes = readAsset(QStringLiteral("images/") + name);
    if (bytes.isEmpty()) return {};
    return "data:image/png;base64," + bytes.toBase64();
}

// Helpers every Leaflet page calls: the base map with the configured tiles (and a notice inside
// the map when they cannot be loaded), the default marker with its pictures inline, and the
// bridge that hands a clicked position to the window.
const char kLeafletHelpers[] = R"JS(
function vantorelBaseMap(center, zoom) {
var map = L.map('map-canvas', {center: center, zoom: zoom, preferCanvas: true});
var tiles = L.tileLayer(vantorelTiles.url, {attribution: vantorelTiles.attribution, maxZoom: 19}).addTo(map);
vantorelTileNotice(map, tiles);
return map;
}
function vantorelTileNotice(map, tiles) {
var notice = null;
var status = '';
// Without tiles nothing on screen tells where the map is: the notice says where it is centred.
var show = function () {
var c = map.wrapLatLng(map.getCenter());
var at = function (v) { return v.toFixed(5).replace('.', ','); };
notice.textContent = 'Fond de carte indisponible : pas de r\u00e9seau ou serveur de tuiles refus\u00e9' + status +
'. Carte centr\u00e9e sur ' + at(c.lat) + ' ; ' + at(c.lng);
};
tiles.on('tileerror', function (e) {
if (notice) return;
notice = document.createElement('div');
notice.id = 'vantorel-tile-notice';
notice.style.cssText = 'position: absolute; z-index: 1000; top: 10px; left: 50px; right: 10px;' +
' padding: 4px 8px; background: #fff4c8; border: 1px solid #a07800; color: #000;' +
' font: 12px sans-serif; text-align: center; pointer-events: none;';
show();
map.on('moveend', show);
map.getContainer().appendChild(notice);
// An image says nothing of why it failed: asked once more, the server tells its status when it
// lets pages read it (a 403 usually means the user agent is refused).
var url = e.tile && e.tile.src;
if (!url || typeof fetch !== 'function') return;
fetch(url, {mode: 'cors', credentials: 'omit'}).then(function (r) {
if (r.ok) return;
status = ' (HTTP ' + r.status + ')';
show();
}).catch(function () {});
});
}
function vantorelIcon() {
return L.icon({iconUrl: vantorelTiles.icon, iconRetinaUrl: vantorelTiles.icon2x, shadowUrl: vantorelTiles.shadow,
iconSize: [25, 41], iconAnchor: [12, 41], popupAnchor: [1, -34], tooltipAnchor: [16, -28], shadowSize: [41, 41]});
}
function vantorelEmbedded() {
return typeof qt !== 'undefined' && typeof QWebChannel !== 'undefined';
}
function vantorelPicks(map, marker) {
window.vantorelMarker = marker;
if (!vantorelEmbedded()) return;
new QWebChannel(qt.webChannelTransport, function (channel) {
var pick = channel.objects.vantorelPick;
if (!pick) return;
var dropped = function () { var p = marker.getLatLng(); pick.pick(p.lat, p.lng); };
if (marker) marker.on('dragend', dropped);
// The marker goes where the user clicks (Leaflet sends no click for a drag of the map).
map.on('click', function (e) {
if (marker) marker.setLatLng(e.latlng);
else marker = L.marker(e.latlng, {icon: vantorelIcon(), draggable: true}).addTo(map).on('dragend', dropped);
window.vantorelMarker = marker;
pick.pick(e.latlng.lat, e.latlng.lng);
});
});
}
function vantorelText(tag, text) {
var element = document.createElement(tag);
element.textContent = text;
return element;
}
function vantorelMarkers(map, points) {
var renderer = L.canvas({padding: 0.5});
var group = L.featureGroup();
var last = points.length - 1;
for (var i = 0; i < points.length; i++) {
var colour = i === 0 ? 'red' : (i === last ? 'green' : 'grey');
var marker = L.circleMarker([+points[i][0], +points[i][1]], {renderer: renderer, radius: 5, weight: 1,
color: colour, fillColor: colour, fillOpacity: 0.9});
marker.vantorelIndex = i;
group.addLayer(marker);
}
group.on('mouseover', function (e) {
var p = points[e.layer.vantorelIndex];
if (!e.layer.getTooltip()) e.layer.bindTooltip(vantorelText('span', "'" + p[2] + "'"));
e.layer.openTooltip();
});
group.on('click', function (e) {
var p = points[e.layer.vantorelIndex];
var info = document.createElement('div');
info.appendChild(vantorelText('b', p[2]));
info.appendChild(vantorelText('div', 'Coordonn\u00e9es : ' + p[0] + ' / ' + p[1]));
L.popup().setLatLng(e.layer.getLatLng()).setContent(info).openOn(map);
});
group.addTo(map);
window.vantorelOverview = {group: group, count: points.length};
}
)JS";

QByteArray js(const QString& text) {
    return jsStringLiteral(text).toUtf8();
}

} // namespace

QString pageNumber(const QString& text) {
    QString t = text;
    for (int i = 0; i < std::min<qsizetype>(5, t.size()); ++i)
        if (t[i] == u',') t[i] = u'.';
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?([eE][-+]?[0-9]+)?$"));
    return number.match(t).hasMatch() ? t : QStringLiteral("0");
}

QString blankQuotes(QString text) {
    text.replace(u'\'', u' ');
    text.replace(u'"', u' ');
    return text;
}

const LeafletAssets& leafletAssets() {
    static const LeafletAssets assets = [] {
        LeafletAssets a;
        a.script = readAsset(QStringLiteral("leaflet.min.js"));
        if (a.script.isEmpty()) a.script = readAsset(QStringLiteral("leaflet.js"));
        // The script goes inside a <script> block: no text in it may close that block.
        a.script.replace("</script", "<\\/script");
        a.style = readAsset(QStringLiteral("leaflet.css"));
        a.style.replace("</style", "<\\/style");
        a.markerIcon = dataUrl(QStringLiteral("marker-icon.png"));
        a.markerIcon2x = dataUrl(QStringLiteral("marker-icon-2x.png"));
        a.markerShadow = dataUrl(QStringLiteral("marker-shadow.png"));
        return a;
    }();
    return assets;
}

QByteArray mapPageHead(const MapSettings& settings) {
    QByteArray page;
    page += "<html><head>";
    page += "\n<meta charset=\"utf-8\">";
    page += "\n<style>html, body, #map-canvas {";
    page += "\nheight: 100%;";
    page += "\nmargin: 0px;";
    page += "\npadding: 0px";
    page += "\n} </style>";
    if (settings.library == MapLibrary::Google) {
        page += "\n<script src=\"https://maps.googleapis.com/maps/api/js?v=3.exp&sensor=false";
        if (!settings.googleMapsKey.isEmpty())
            page += "&key=" + QUrl::toPercentEncoding(settings.googleMapsKey);
        page += "\"></script>";
        page += "\n<script>";
        page += "\nfunction initialize() {";
        return page;
    }
    const LeafletAssets& leaflet = leafletAssets();
    page.reserve(leaflet.script.size() + leaflet.style.size() + 8192);
    page += "\n<style>\n" + leaflet.style + "\n</style>";
    page += "\n<script>\n" + leaflet.script + "\n</script>";
    page += "\n<script>";
    page += "\nvar vantorelTiles = {url: " + js(settings.tileUrl) +
            ", attribution: " + js(settings.tileAttribution) + ",\nicon: \"" + leaflet.markerIcon +
            "\", icon2x: \"" + leaflet.markerIcon2x + "\", shadow: \"" + leaflet.markerShadow + "\"};";
    page += kLeafletHelpers;
    page += "function initialize() {";
    return page;
}

QByteArray mapPageTail(const MapSettings& settings) {
    QByteArray page;
    page += "\n}";
    if (settings.library == MapLibrary::Google)
        page += "\ngoogle.maps.event.addDomListener(window, 'load', initialize);";
    else
        page += "\nwindow.addEventListener('load', initialize);";
    page += "\n</script></head>";
    page += "\n<body><div id=\"map-canvas\"></div></body></html>";
    return page;
}

} // namespace vantorel
