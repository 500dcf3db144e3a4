// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyplace.h"

#include "places/placeindex.h"

namespace vantorel {

namespace {

double degreesOf(const RationalTriple& r) {
    const auto part = [](quint32 numerator, quint32 denominator) {
        return denominator ? double(numerator) / double(denominator) : 0.0;
    };
    return part(r[0], r[1]) + part(r[2], r[3]) / 60.0 + part(r[4], r[5]) / 3600.0;
}

} // namespace

LocationMetadataEdit::Place copyPlaceAt(double latitude, double longitude) {
    const auto place = places::nearestPlace(latitude, longitude);
    if (!place || place->atSea) return {};
    return {place->town, place->region, place->country, place->countryCode};
}

LocationMetadataEdit::Place copyPlaceAt(const GpsPosition& position) {
    const double latitude = degreesOf(position.latitude), longitude = degreesOf(position.longitude);
    return copyPlaceAt(position.latitudeRef == QLatin1String("S") ? -latitude : latitude,
                       position.longitudeRef == QLatin1String("W") ? -longitude : longitude);
}

} // namespace vantorel
