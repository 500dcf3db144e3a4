// SPDX-License-Identifier: GPL-3.0-or-later
#include "photomappage.h"

#include "mappage.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "text/escape.h"

namespace vantorel {
namespace {

QByteArray latLng(const char* constructor, const QString& latitude, const QString& longitude) {
    return QByteArray(constructor) + "(" + pageNumber(latitude).toLatin1() + ", " +
           pageNumber(longitude).toLatin1() + ")";
}

} // namespace

std::optional<PhotoMapPage> photoMapPageFromGrid(const StringGrid& SG1) {
    if (SG1.cell(CoordLatitudeText, 0) != QLatin1String("Latitude")) return std::nullopt;
    PhotoMapPage page;
    const auto sign = [](const QString& text, QChar positive) {
        return text.startsWith(positive) ? QString() : QStringLiteral("-");
    };
    page.latitudeText = sign(SG1.cell(CoordLatitudeText, 1), u'N') + SG1.cell(CoordLatitudeDegrees, 1);
    page.longitudeText = sign(SG1.cell(CoordLongitudeText, 1), u'E') + SG1.cell(CoordLongitudeDegrees, 1);
    page.title = SG1.cell(CoordName, 1);
    return page;
}

QByteArray BuildPhotoMapPage(const PhotoMapPage& in, const MapSettings& settings) {
    const bool google = settings.library == MapLibrary::Google;
    const char* const point = google ? "new google.maps.LatLng" : "L.latLng";
    const QString title = blankQuotes(in.title.isEmpty() ? kNoDesignation : in.title);
    const QByteArray titleLiteral = jsStringLiteral(title).toUtf8();
    const QByteArray zoom = QByteArray::number(in.zoomText.toInt());

    QByteArray page = mapPageHead(settings);
    page += "\nvar myLatlng = " + latLng(point, in.latitudeText, in.longitudeText) + ";";
    if (google) {
        page += "\nvar mapOptions = {";
        page += "\nzoom: " + zoom + ",center: myLatlng" + ",mapTypeId: google.maps.MapTypeId.ROADMAP";
        page += "\n}";
        page += "\nvar map = new google.maps.Map(document.getElementById('map-canvas'), mapOptions);";
        page += "\nvar marker = new google.maps.Marker({";
        page += "\nposition: myLatlng,";
        page += "\nmap: map,";
        page += "\ntitle: " + titleLiteral;
        page += "\n});";
    } else {
        page += "\nvar map = vantorelBaseMap(myLatlng, " + zoom + ");";
        page += "\nvar marker = L.marker(myLatlng, {";
        page += "\nicon: vantorelIcon(), draggable: vantorelEmbedded(),";
        page += "\ntitle: " + titleLiteral;
        page += "\n}).addTo(map);";
    }
    if (in.sector) {
        const PhotoMapPage::Corners& c = *in.sector;
        page += "\nvar tableauPointsPolygone = [";
        page += "\n" + latLng(point, in.latitudeText, in.longitudeText) + ",";
        page += "\n" + latLng(point, c.latitude1, c.longitude1) + ",";
        page += "\n" + latLng(point, c.latitude2, c.longitude2) + ",";
        page += "\n" + latLng(point, in.latitudeText, in.longitudeText);
        page += "\n];";
        if (google) {
            page += "\nvar optionsPolygone = {";
            page += "\nmap: map,";
            page += "\npaths: tableauPointsPolygone";
            page += "\n};";
            page += "\nvar monPolygone = new google.maps.Polygon( optionsPolygone );";
        } else {
            page += "\nvar monPolygone = L.polygon(tableauPointsPolygone).addTo(map);";
        }
    }
    if (!google) page += "\nvantorelPicks(map, marker);";
    page += mapPageTail(settings);
    return page;
}

} // namespace vantorel
