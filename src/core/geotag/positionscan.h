// SPDX-License-Identifier: GPL-3.0-or-later
// The broadest reading of a written copy for positions: wherever a reader of Exif, XMP or a
// thermal camera's own record may find one, in any segment, picture, thumbnail or trailing data.
// A copy takes its name only when this reading finds what the copy promises.
#pragma once

#include "metadata/propertyitem.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace vantorel {

struct FoundPosition {
    QString where;            // « l'Exif (GPS) », « le XMP (drone-dji:GpsLatitude) »...
    bool latitude = true;     // false: a longitude
    bool destination = false; // a destination's coordinate, not the photo's
    double degrees = 0;       // the magnitude read; NaN when it cannot be read as a number
};

// Every latitude and longitude in the file: the GPS directory of every TIFF block found anywhere
// in it (Exif segments, PNG and WebP chunks, thumbnails, other pictures, Photoshop resources, the
// whole file when it is a TIFF or a RAW file built on one) hanging from its main
// directory, its second (thumbnail) directory or its Exif directory; every XMP-style property
// whose local name is a latitude or longitude, in any namespace and wherever its text lies
// (XMP, extended XMP, Photoshop's XMP, trailing data); the GPS record of a thermal camera's FFF
// data.
QVector<FoundPosition> findPositions(const QByteArray& file);

// The magnitude of the rational coordinate `id` among `items` (degrees, minutes, seconds); NaN
// without one.
double itemDegrees(const QVector<PropertyItem>& items, quint16 id);

// The coordinate of an XMP text ("45,33.0000N", "45,33,12N", "+43.4674"), as a magnitude; NaN
// when it is not one.
double xmpDegrees(const QByteArray& text);

// A thermal camera's FFF data spread over its APP1 "FLIR" segments: where it lies in the file,
// piece by piece, so that a record can be read and rewritten in place.
struct FlirStream {
    QByteArray data;
    QVector<std::pair<qint64, qint64>> pieces; // file offset and size of each piece, in order
    // The file offset of a stream offset; -1 when outside.
    qint64 fileOffset(qint64 at) const;
};
// The first picture's FLIR data (given the file's head); empty when it has none.
FlirStream flirStream(const QByteArray& head);
// The records of type 0x2B (GPS) of the FFF data: the offset of each one's directory entry and of
// its body in the stream, and the body's size. Nothing when the data is not FFF.
struct FlirGpsRecord {
    qint64 entry = 0;
    qint64 body = 0;
    qint64 size = 0;
};
QVector<FlirGpsRecord> flirGpsRecords(const QByteArray& fff);

} // namespace vantorel
