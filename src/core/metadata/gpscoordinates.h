// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a photo's GPS position: rational components to degrees, decimal minutes and decimal
// degrees (32-bit floats, as cameras' values have always been shown here), and the texts made of them.
#pragma once

#include "files/regularfile.h"
#include "propertyitem.h"
#include "tables/gridcolumns.h"

#include <QString>

namespace vantorel {

class ImageProperties;
class OpenedPhoto;

struct GpsComponents {
    float degrees = 0;
    float minutes = 0;
    float seconds = 0;
    // False when the item cannot give a position: not rationals (signed or not), none at all, or degrees
    // whose denominator is zero or negative. A minute or second component that cannot be computed counts as
    // 0.
    bool usable = false;
};

GpsComponents DecodeGpsRationals(const PropertyItem& item);

float decimalMinutes(const GpsComponents& c);
float decimalDegrees(const GpsComponents& c);

// "N 48°  12,345'": reference, whole degrees, two blanks, minutes with 3 decimals.
QString formatCoordinateText(const QString& ref, const GpsComponents& c);
// Decimal degrees with 5 decimals, unsigned.
QString formatDecimalDegrees(const GpsComponents& c);

// The part of a path after its last "/".
QString fileNameOf(const QString& path);

// Reads a coordinate item and tells whether it holds a usable position.
bool readCoordinate(const ImageProperties& photo, quint32 id, GpsComponents& out);
// Updates `ref` from a reference item: its text when it is ASCII; kept otherwise.
// Returns false when the item is absent.
bool readReference(const ImageProperties& photo, quint32 id, QString& ref);

// Which reference items a geotagged photo lacks.
enum class MissingReferences { None, NorthSouth, EastWest, Both };

struct CoordinateReading {
    bool geotagged = false;
    // Row 1 of the coordinate grid: file name, latitude text, longitude text, unsigned decimal
    // latitude, unsigned decimal longitude, full path.
    QString cells[CoordColumnCount];
    QString signedLatitude;   // Label1: signed decimal latitude
    QString signedLongitude;  // Label2: signed decimal longitude
    QString offeredLatitude;  // Edit7: the same, offered to the copy writer
    QString offeredLongitude; // Edit8
    MissingReferences missing = MissingReferences::None;
    // Why the file could not be read at all (it is then not geotagged, and shown as the window
    // shows a photo without position); None when it was read.
    FileOpenError readError = FileOpenError::None;
};

// Reads the GPS position of `path`. `latitudeRef` and `longitudeRef` carry the reference letters
// from photo to photo: a reference item that is not ASCII leaves the previous photo's letter.
CoordinateReading ReadGpsCoordinates(const QString& path, QString& latitudeRef, QString& longitudeRef);
// The same from a photo already opened (a selection reads its photo once for every step).
CoordinateReading ReadGpsCoordinates(const OpenedPhoto& photo, QString& latitudeRef, QString& longitudeRef);

// The notice for a geotagged photo without its reference items, or an empty text.
QString missingReferencesMessage(MissingReferences missing);

} // namespace vantorel
