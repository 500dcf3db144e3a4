// SPDX-License-Identifier: GPL-3.0-or-later
#include "overviewpage.h"

#include "mappage.h"
#include "photomappage.h"
#include "tables/gridcolumns.h"
#include "tables/stringgrid.h"
#include "text/escape.h"
#include "text/numberformat.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vantorel {
namespace {

float cellValue(const StringGrid& grid, int col, int row) {
    return float(StrToFloat(grid.cell(col, row)).value_or(0));
}

QString designationOf(const StringGrid& SG0, int row) {
    const QString name = SG0.cell(PoiName, row);
    return blankQuotes(name.isEmpty() ? kNoDesignation : name);
}

const char kIconHost[] = "maps.google.com/mapfiles";

} // namespace

QString overviewZoom(qint64 e) {
    struct Step {
        qint64 upTo;
        const char* zoom;
    };
    static constexpr Step steps[] = {{5, "16"},    {10, "15"},   {25, "14"},  {50, "13"},  {100, "12"},
                                     {200, "11"},  {500, "10"},  {1000, "9"}, {2000, "8"}, {5000, "7"},
                                     {10000, "6"}, {20000, "5"}, {50000, "4"}};
    for (const Step& step : steps)
        if (e <= step.upTo) return QString::fromLatin1(step.zoom);
    return QStringLiteral("2");
}

OverviewFrame overviewFrame(const StringGrid& SG0, const std::function<void()>& pump) {
    const int rows = SG0.rowCount() - 1;
    float latitudeSum = 0, longitudeSum = 0;
    float latMin = 0, latMax = 0, lonMin = 0, lonMax = 0;
    for (int row = 1; row <= rows; ++row) {
        if (pump && row % kRowsBetweenPumps == 0) pump();
        const float lat = cellValue(SG0, PoiSignedLatitude, row);
        const float lon = cellValue(SG0, PoiSignedLongitude, row);
        latitudeSum += lat;
        longitudeSum += lon;
        latMin = row == 1 ? lat : std::min(latMin, lat);
        latMax = row == 1 ? lat : std::max(latMax, lat);
        lonMin = row == 1 ? lon : std::min(lonMin, lon);
        lonMax = row == 1 ? lon : std::max(lonMax, lon);
    }
    OverviewFrame frame;
    const float latitude = latitudeSum / float(std::max(rows, 1));
    const float longitude = longitudeSum / float(std::max(rows, 1));
    frame.centreLatitude = pageNumber(FloatToStr(latitude));
    frame.centreLongitude = pageNumber(FloatToStr(longitude));
    const float latSpan = latMax - latMin;
    const float lonSpan = lonMax - lonMin;
    const float span = latSpan > lonSpan ? latSpan : lonSpan;
    const double thousandths = double(span) * 1000;
    frame.e = std::isfinite(thousandths) ? qint64(std::trunc(std::min(thousandths, 1e15))) : 0;
    frame.zoom = overviewZoom(frame.e);
    return frame;
}

QByteArray buildOverviewPage(const StringGrid& SG0, const OverviewFrame& frame, const MapSettings& settings,
                             const std::function<void()>& pump) {
    const int rows = SG0.rowCount() - 1;
    const bool google = settings.library == MapLibrary::Google;
    const QByteArray zoom = QByteArray::number(frame.zoom.toInt());
    QByteArray page = mapPageHead(settings);
    page.reserve(page.size() + qsizetype(rows) * (google ? 520 : 64));
    const QByteArray centre = frame.centreLatitude.toLatin1() + ", " + frame.centreLongitude.toLatin1();
    if (!google) {
        page += "\nvar myLatlng = L.latLng(" + centre + ");";
        page += "\nvar map = vantorelBaseMap(myLatlng, " + zoom + ");";
        page += "\nvar points = [";
        for (int row = 1; row <= rows; ++row) {
            if (pump && row % kRowsBetweenPumps == 0) pump();
            page += "\n[\"" + pageNumber(SG0.cell(PoiSignedLatitude, row)).toLatin1() + "\",\"" +
                    pageNumber(SG0.cell(PoiSignedLongitude, row)).toLatin1() + "\"," +
                    jsStringLiteral(designationOf(SG0, row)).toUtf8() + "]";
            if (row < rows) page += ',';
        }
        page += "\n];";
        page += "\nvantorelMarkers(map, points);";
        page += mapPageTail(settings);
        return page;
    }
    page += "\nvar myLatlng = new google.maps.LatLng(" + centre + ");";
    page += "\nvar mapOptions = {";
    page += "\nzoom: " + zoom + ",center: myLatlng";
    page += "\n}";
    page += "\nvar map = new google.maps.Map(document.getElementById('map-canvas'), mapOptions);";
    page += QByteArray("\nvar iconGrey = 'https://") + kIconHost + "/ridefinder/images/mm_20_gray.png';";
    page += QByteArray("\nvar iconRed = 'https://") + kIconHost + "/ridefinder/images/mm_20_red.png';";
    page += QByteArray("\nvar iconGreen = 'https://") + kIconHost + "/ridefinder/images/mm_20_green.png';";
    for (int row = 1; row <= rows; ++row) {
        if (pump && row % kRowsBetweenPumps == 0) pump();
        const QByteArray latitude = pageNumber(SG0.cell(PoiSignedLatitude, row)).toLatin1();
        const QByteArray longitude = pageNumber(SG0.cell(PoiSignedLongitude, row)).toLatin1();
        const QString designation = designationOf(SG0, row);
        const QString info = QStringLiteral("<div><b>") + htmlEscape(designation) +
                             QStringLiteral("</b><div>Coordonnées : ") + QString::fromLatin1(latitude) +
                             QStringLiteral(" / ") + QString::fromLatin1(longitude) +
                             QStringLiteral("</div></div>");
        const char* icon = row == 1 ? "iconRed" : row == rows ? "iconGreen" : "iconGrey";
        page += "\nvar infowindow = new google.maps.InfoWindow();";
        page += "\nvar maPunaise = new google.maps.LatLng(" + latitude + ", " + longitude + ");";
        page += "\nvar marker = new google.maps.Marker({";
        page += "\nposition: maPunaise,";
        page += "\nmap: map,title: " + jsStringLiteral(u'\'' + designation + u'\'').toUtf8() + ",";
        page += QByteArray("\nicon: ") + icon + "});";
        page += "\ngoogle.maps.event.addListener(marker, 'click', function() {";
        page += "\ninfowindow.setContent(" + jsStringLiteral(info).toUtf8() + ");";
        page += "\ninfowindow.open(map, this);";
        page += "\n});";
        page += "infowindow.setPosition(maPunaise);";
    }
    page += mapPageTail(settings);
    return page;
}

} // namespace vantorel
