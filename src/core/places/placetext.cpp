// SPDX-License-Identifier: GPL-3.0-or-later
#include "placetext.h"

#include "text/numberformat.h"

#include <cmath>

namespace vantorel::places {

namespace {

QString townRegionCountry(const Place& place) {
    QStringList parts{place.town};
    if (!place.region.isEmpty() && place.region != place.town) parts << place.region;
    if (!place.country.isEmpty()) parts << place.country;
    return parts.join(QStringLiteral(", "));
}

} // namespace

QString placeCaption(const Place& place) {
    const QString distance = place.km < 0.5 ? QStringLiteral("moins d'1 km")
                                            : QString::number(std::llround(place.km)) + QStringLiteral(" km");
    if (place.atSea) return QStringLiteral("En mer (à %1 de %2)").arg(distance, townRegionCountry(place));
    return QStringLiteral("Près de %1 (%2)").arg(townRegionCountry(place), distance);
}

QStringList placeFields(const Place& place) {
    const QString km = FloatToStrF(place.km, 15, 1);
    if (place.atSea) return {QStringLiteral("en mer"), {}, {}, {}, {}, km};
    return {place.town, place.region, place.country, place.countryCode, place.zone, km};
}

} // namespace vantorel::places
