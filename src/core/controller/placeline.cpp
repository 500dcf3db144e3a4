// SPDX-License-Identifier: GPL-3.0-or-later
#include "placeline.h"

#include "geotag/geotagcopy.h"
#include "maincontrols.h"
#include "places/placeindex.h"
#include "places/placetext.h"
#include "text/numberformat.h"

#include <optional>
#include <utility>

namespace vantorel {

namespace {

// Latitude and longitude of the position fields, signed; none unless both are read and in range.
std::optional<std::pair<double, double>> fieldsPosition(const QString& latitude, const QString& longitude) {
    if (readCoordinateFields(latitude, longitude).status != CoordinateInput::Ok) return std::nullopt;
    const auto sign = [](const QString& text) { return text.startsWith(u'-') ? -1.0 : 1.0; };
    return std::pair{sign(latitude) * *coordinateMagnitude(latitude),
                     sign(longitude) * *coordinateMagnitude(longitude)};
}

} // namespace

QString PlaceLine::caption(const MainControls& controls) {
    return caption(controls.Label1, controls.Label2, controls.Edit7, controls.Edit8);
}

QString PlaceLine::caption(const QString& photoLatitude, const QString& photoLongitude,
                           const QString& fieldLatitude, const QString& fieldLongitude) {
    std::optional<std::pair<double, double>> at = fieldsPosition(fieldLatitude, fieldLongitude);
    if (!at) {
        const auto latitude = StrToFloat(photoLatitude), longitude = StrToFloat(photoLongitude);
        if (latitude && longitude) at = std::pair{*latitude, *longitude};
    }
    const QString key =
        at ? QString::number(at->first, 'g', 17) + u' ' + QString::number(at->second, 'g', 17) : QString();
    if (key == m_key) return m_caption;
    m_key = key;
    const auto place = at ? places::nearestPlace(at->first, at->second) : std::nullopt;
    m_caption = place ? places::placeCaption(*place) : QString();
    return m_caption;
}

} // namespace vantorel
