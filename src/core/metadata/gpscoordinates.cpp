// SPDX-License-Identifier: GPL-3.0-or-later
#include "gpscoordinates.h"

#include "imageproperties.h"
#include "rationals.h"
#include "text/numberformat.h"

#include <QStringBuilder>

#include <cmath>

namespace vantorel {
namespace {

const QString kBothMissing = QStringLiteral(
    "Informations Nord-Sud et Est-Ouest non incluses dans la photo\nNord et Est seront supposés");
const QString kNorthSouthMissing =
    QStringLiteral("Information Nord ou Sud non incluse dans la photo\nNord sera supposé");
const QString kEastWestMissing =
    QStringLiteral("Information Est ou Oues non incluse dans la photo\nEst sera supposé");

// One position component; false when it cannot be computed.
bool component(const PropertyItem& item, int index, float& out) {
    const auto value = gpsComponentValue(item, index);
    if (value) out = *value;
    return value.has_value();
}

} // namespace

GpsComponents DecodeGpsRationals(const PropertyItem& item) {
    GpsComponents c;
    // Some cameras store the coordinates as signed rationals; both read the same way.
    if (item.type != TypeRational && item.type != TypeSRational) return c;
    const int count = int(item.length() / 8);
    if (count < 1 || !component(item, 0, c.degrees)) return c;
    if (count >= 2 && !component(item, 1, c.minutes)) c.minutes = 0;
    if (count >= 3 && !component(item, 2, c.seconds)) c.seconds = 0;
    c.usable = std::isfinite(c.degrees);
    return c;
}

float decimalMinutes(const GpsComponents& c) {
    // A degree component with a fraction (some writers store decimal degrees in it) carries its
    // minutes too, so that the text agrees with the decimal degrees.
    const long double fraction = (long double)c.degrees - std::trunc((long double)c.degrees);
    return float(fraction * 60 + (long double)c.seconds * (1.0L / 60) + (long double)c.minutes);
}

float decimalDegrees(const GpsComponents& c) {
    return float(((long double)c.degrees * 3600 + (long double)c.minutes * 60 + (long double)c.seconds) *
                 (1.0L / 3600));
}

QString formatCoordinateText(const QString& ref, const GpsComponents& c) {
    const double whole = std::trunc(double(c.degrees));
    // Built in one piece: thousands of rows are made of it.
    return ref % u' ' % QString::number(qint64(whole)) % u"°  " % FloatToStrF(decimalMinutes(c), 8, 3) %
           u'\'';
}

QString formatDecimalDegrees(const GpsComponents& c) {
    return FloatToStrF(decimalDegrees(c), 8, 5);
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

bool readCoordinate(const ImageProperties& photo, quint32 id, GpsComponents& out) {
    const auto item = photo.item(id);
    if (!item) return false;
    out = DecodeGpsRationals(*item);
    return out.usable;
}

bool readReference(const ImageProperties& photo, quint32 id, QString& ref) {
    const auto item = photo.item(id);
    if (!item) return false;
    if (item->type == TypeAscii) ref = item->text();
    return true;
}

CoordinateReading ReadGpsCoordinates(const QString& path, QString& latitudeRef, QString& longitudeRef) {
    return ReadGpsCoordinates(*OpenedPhoto::open(path, OpenedPhoto::Reading::GpsItems), latitudeRef,
                              longitudeRef);
}

CoordinateReading ReadGpsCoordinates(const OpenedPhoto& opened, QString& latitudeRef, QString& longitudeRef) {
    const QString& path = opened.path();
    ImageProperties photo;
    photo.open(opened, ImageProperties::Scope::Gps);
    CoordinateReading r;
    r.readError = photo.openError();

    bool latRefMissing = false;
    bool lonRefMissing = false;

    if (!readReference(photo, GpsLatitudeRef, latitudeRef)) {
        latRefMissing = true;
        latitudeRef = QStringLiteral("N");
    }
    r.offeredLatitude = latitudeRef == QStringLiteral("S") ? QStringLiteral("-") : QString();

    GpsComponents lat;
    const bool hasLatitude = readCoordinate(photo, GpsLatitude, lat);
    if (hasLatitude) {
        r.cells[CoordName] = fileNameOf(path);
        r.cells[CoordLatitudeText] = formatCoordinateText(latitudeRef, lat);
        r.cells[CoordLatitudeDegrees] = formatDecimalDegrees(lat);
        r.cells[CoordPath] = path;
        r.offeredLatitude += r.cells[CoordLatitudeDegrees];
    }

    if (!readReference(photo, GpsLongitudeRef, longitudeRef)) {
        lonRefMissing = true;
        longitudeRef = QStringLiteral("E");
    }
    r.offeredLongitude = longitudeRef == QStringLiteral("W") ? QStringLiteral("-") : QString();

    GpsComponents lon;
    // Without a latitude row there is nowhere to put the longitude: the photo has no position.
    if (hasLatitude && readCoordinate(photo, GpsLongitude, lon)) {
        r.cells[CoordLongitudeText] = formatCoordinateText(longitudeRef, lon);
        r.cells[CoordLongitudeDegrees] = formatDecimalDegrees(lon);
        r.offeredLongitude += r.cells[CoordLongitudeDegrees];
    }

    if (!r.cells[CoordName].isEmpty() && !r.cells[CoordLatitudeText].isEmpty() &&
        !r.cells[CoordPath].isEmpty() && !r.cells[CoordLongitudeText].isEmpty()) {
        r.signedLatitude = r.cells[CoordLatitudeText].startsWith(u'N')
                               ? r.cells[CoordLatitudeDegrees]
                               : QStringLiteral("-") + r.cells[CoordLatitudeDegrees];
        r.signedLongitude = r.cells[CoordLongitudeText].startsWith(u'E')
                                ? r.cells[CoordLongitudeDegrees]
                                : QStringLiteral("-") + r.cells[CoordLongitudeDegrees];
    }

    r.geotagged = hasLatitude;
    if (!r.geotagged) {
        r.cells[CoordPath] = path;
    } else if (latRefMissing && lonRefMissing) {
        r.missing = MissingReferences::Both;
    } else if (latRefMissing) {
        r.missing = MissingReferences::NorthSouth;
    } else if (lonRefMissing) {
        r.missing = MissingReferences::EastWest;
    }
    return r;
}

QString missingReferencesMessage(MissingReferences missing) {
    switch (missing) {
    case MissingReferences::Both:
        return kBothMissing;
    case MissingReferences::NorthSouth:
        return kNorthSouthMissing;
    case MissingReferences::EastWest:
        return kEastWestMissing;
    case MissingReferences::None:
        break;
    }
    return {};
}

} // namespace vantorel
